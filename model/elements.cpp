// The element types' keywords and the index lists of the element sections (see
// elements.h); the lists are filled by the element readers and freed with the reader's
// other index arrays once the network is built.
#include "model/elements.h"

namespace vexlar {

const char* const _afe_dnames[AFE_NTYPES + 1] = {
    "plr_orfc", "plr_leak1", "plr_leak2", "plr_leak3", "plr_conn", "plr_qcn", "plr_fcn",
    "plr_test1", "plr_test2", "plr_crack", "plr_stair", "plr_shaft", "plr_bdq", "plr_bdf",
    "srv_jwa", "qfr_qab", "qfr_fab", "qfr_crack", "qfr_test2", "dor_door", "dor_pl2",
    "fan_cmf", "fan_cvf", "fan_fan", "csf_fsp", "csf_qsp", "csf_psf", "csf_psq", "sup_afe",
    "dct_dwc", "dct_plr", "dct_fcn", "dct_qcn", "dct_fan", "dct_cmf", "dct_cvf", "dct_bdq",
    "dct_bdf", "dct_fsp", "dct_qsp", "dct_psf", "dct_psq", "ahs_sr", "ahs_xor", "d_leak",
    "d_term", ""};

const char* const _flte_names[FLT_NTYPES + 1] = {"cef", "pf0", "gf0", "uv1", "spf", ""};

const char* const _csse_names[CSE_NTYPES + 1] = {"ccf", "prs", "cut", "eds", "bls",
                                                 "brs", "dvs", "drs", "dvr", "sup",
                                                 "plm", "pkm", "sxd", "dxd", ""};

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
