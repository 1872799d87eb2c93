// Index lists of the element sections (see elements.h); filled by the element readers,
// freed with the reader's other index arrays once the network is built.
#include "model/elements.h"

namespace vexlar {

FilterElemRec** _FlteList;
int _nflte;
FilterRec** _FiltList;
int _nfilt;
CseRec** _CseList;
int _ncse;
AfeRec** _AfeList;
int _nafe;
AfeRec** _DfeList;
int _ndfe;

}  // namespace vexlar
