// Timed input files. Their readers are not built yet: no file is opened, so the ambient
// state stays as the project set it and every stream reads as closed.
#include "simulation/weather.h"

namespace vexlar {

FILE* _uwth = nullptr;
FILE* _uctm = nullptr;
FILE* _ucvf = nullptr;
FILE* _udvf = nullptr;
FILE* _uwpc = nullptr;

void CVF_init_data(int, int, int) {}
int CVF_init_controls() { return 0; }
int CVF_get(int, int, int) { return 0; }
void DVF_init_data(int, int) {}
int DVF_init_controls() { return 0; }
int DVF_get(int, int, int) { return 0; }

void WTH_init(int, int, int) {}
int WTH_get(int, int, int) { return 0; }
int WTH_get_day_type(int) { return 1; }
void WTH_close() {}

void CTM_init(int, int, int) {}
int CTM_get(int, int, int) { return 0; }

void WPC_init(int, int, int) {}
int WPC_get(int, int, int) { return 0; }
void WPC_close() {}

}  // namespace vexlar
