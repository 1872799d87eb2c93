// The process-wide state of the CFD zone solver: the zone's files, the items of its input
// file, the grid, the boundary records and every field and work array. Arrays start null
// and are allocated once per run (heapgrid and the readers); nothing here is freed.
#include "cfd/cfd-int.h"

namespace vexlar {

char _cfdpdrive[4];
char _cfdpdir[4096];
char _cfdpname[4096];
char _cfdprj[4096];
FILE* IN = nullptr;
FILE* UCD = nullptr;
MemBlock* _cplms = nullptr;

int INITYN, VSTEADY = 1, CSTEADY = 1, CONTAMINANT, ENERGY, NOC, CACTIVE[6], CRESTART;
int ICOMPU, EWCYN, NITER;

int IM2, JM2, KM2, IM1, JM1, KM1, IMAX, JMAX, KMAX, NI, NJ, NK, I2DX, I2DY, I2DZ;
double XX, YY, ZZ;

double GRA, NULLP, TM, TINIT, BETA, REFDENS, OPERDENS, FLOWIN;
int PBYN;
double TIMESTEP, TIMEMAX, CFDTIME;
int TPLSTEP;
int IMON, JMON, KMON;
double _cfdzoneMfi[5];
double ANU, ACP, PRL, PAMB;

int NBIN, NBOUT;
int** LBIN;
int *INTY, *PITYPE, *IMTYPE;
double *AIN, *UBIN, *VBIN, *WBIN, *TBIN, *AMASSIN, *PBIN, *COEIN, *EXPIN, *PIN1, *PIN2;
double** CBIN;
double** CBINSIDE;
char** NMIN;
int** LBOUT;
int *IOTY, *POTYPE, *OMTYPE;
double *AOU, *VBOUT, *TBOUT, *AMASSOUT, *PBOUT, *COEOUT, *EXPOUT, *POUT1, *POUT2;
double** CBOUT;
double** CBOUTSIDE;
char** NMOUT;

double ***U, ***V, ***W, ***P, ***PP, ***T, ***VIS, ***VTT;
double ***UOLD, ***VOLD, ***WOLD, ***POLD, ***TOLD;
double ***C1, ***C2, ***C3, ***C4, ***C5;
double ***C1OLD, ***C2OLD, ***C3OLD, ***C4OLD, ***C5OLD;
double ***UP, ***VP, ***WP, ***psaved, ***VOL;
int*** ICELL;

double *X, *XF, *DELX, *DELXC, *Y, *YF, *DELY, *DELYC, *Z, *ZF, *DELZ, *DELZC;
double **AREX, **AREY, **AREZ;
double XP, YP, ZP;
double CIG[9];

char TITLE[4097];
double CRESIDU;
int CMAXITER, TPLSTEP1, TPLSTEP2;
double CRITE;
int NITMAX, LAMIN, ITUR;
int DIFFSMU, DIFFSMV, DIFFSMW, DIFFSMT, DIFFSMC;
int BUOYML;
double UMIN, UMAX, VMIN, VMAX, WMIN, WMAX, TMIN, TMAX;
double URFU, URFV, URFW, URFP, URFT, URFEK, URFED, URFC;
double DTU, DTV, DTW, DTT, DTEK, DTED, DTC;
int STEP, ISTEP;
double CDTU, CDTV, CDTW, CDTT, CDTEK, CDTED, CDTC;
double PINTV;
int IREF, JREF, KREF;
int IP1, IP2, IPSTP, JP1, JP2, JPSTP;
int NXSLCF, NYSLCF, NZSLCF;
int *XSLCF, *YSLCF, *ZSLCF;
int DUMPLOG;
double AK;

UcdRec *UCDBLOK, *UCDTW, *UCDQCW;
UcdOpening *UCDINLET, *UCDOUTLET;

int NBL;
int** IBL;
char** NMBL;
int* FSBLOC;
double *HSOU, *TSOUU, *TAREA;
double **CSOU, **CSOUU, **CSOUCUT;
int NAWT;
int** LNAW;
int* ITTY;
double* TNAW;
int NAWQ;
int** LNAWQ;
int* IQTY;
double *QNAW, *AWQ;
double **CNAW, **CNAWCUT;

double ***AP, ***AE, ***AW, ***AN, ***AS, ***AT, ***AB, ***BS, ***SP, ***TS, ***STORE;
double ***US, ***VS, ***WS, ***DX, ***DY, ***DZ;
double ***pu, ***pv, ***pw, ***pus, ***pvs, ***pws, ***opencoe, ***opencoesv;
int*** OBJECTNM;
double *TDMAa, *TDMAb, *TDMAc, *TDMAd;
int N1, N2, N3;

double ***PHIMGP_0, ***PHIMGP_1, ***PHIMGP_2, ***PHIMGP_3;
double ***RES_PHIMG_0, ***RES_PHIMG_1, ***RES_PHIMG_2;
double ***ERR_PHIMG_0, ***ERR_PHIMG_1, ***ERR_PHIMG_2;
double ***AP_1, ***AE_1, ***AW_1, ***AN_1, ***AS_1, ***AT_1, ***AB_1, ***B_1;
double ***AP_2, ***AE_2, ***AW_2, ***AN_2, ***AS_2, ***AT_2, ***AB_2, ***B_2;
double ***REST_AVEP, ***REST_COAP, ***REST_AVEU, ***REST_COAU;
double ***REST_AVEV, ***REST_COAV, ***REST_AVEW, ***REST_COAW;
double *xE_int1, *xE_int2, *xW_int1, *xW_int2;
double *yN_int1, *yN_int2, *yS_int1, *yS_int2;
double *zT_int1, *zT_int2, *zB_int1, *zB_int2;
int imax_ave, jmax_ave, kmax_ave, imax_coa, jmax_coa, kmax_coa;
int imaxGS, jmaxGS, kmaxGS;
int GSnum, nn_mg;
double err_mg;

double*** cfd_species(int n)
{
    double*** const c[6] = {nullptr, C1, C2, C3, C4, C5};
    return n >= 1 && n <= 5 ? c[n] : nullptr;
}

double*** cfd_species_old(int n)
{
    double*** const c[6] = {nullptr, C1OLD, C2OLD, C3OLD, C4OLD, C5OLD};
    return n >= 1 && n <= 5 ? c[n] : nullptr;
}

}  // namespace vexlar
