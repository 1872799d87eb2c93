// The return of the CFD zone solver and its coupling to their state at program start: the
// zone's files closed, its grid arrays, boundary records, series nodes and coupling records
// freed, and every setting, counter, residual and switch cleared. The engine calls it as a
// run ends; anything that sets up a zone afterwards (a later run in the same process, a
// test) starts from a clean solver.
#include <cstring>
#include <initializer_list>

#include "cfd/cfd-int.h"
#include "common-src/memory.h"

namespace vexlar {

namespace {

void closeFile(FILE** f)
{
    if (*f) fclose(*f);
    *f = nullptr;
}

template <class T, size_t N> void clear(T (&a)[N]) { std::memset(a, 0, sizeof a); }

void releaseCoupling()
{
    if (_cfdzone) {
        for (CplPath* c = _cfdzone[1].paths; c; c = c->next) {
            for (double** h : {&c->pcomputed, &c->pused, &c->mbefore, &c->mafter, &c->ctmcoe,
                               &c->ctmexp, &c->cfdetp, &c->Plocal, &c->Plocal1})
                if (*h) *h = fre_vT(*h, 0, MAXCPL + 1, "history");
            if (c->Crate1) c->Crate1 = fre_vT(c->Crate1, 1, _nctmcpl, "Crate1");
            if (c->Crate2) c->Crate2 = fre_vT(c->Crate2, 1, _nctmcpl, "Crate2");
        }
        _cfdzone = fre_vT(_cfdzone, 1, 1, "_cfdzone");
    }
    if (_cfdniter) _cfdniter = fre_vT(_cfdniter, 0, MAXCPL + 1, "_cfdniter");
    _refzone = nullptr;
    if (_cplms) _cplms = fre_ec(_cplms, "cplms-block");
}

}  // namespace

void cfd_reset()
{
    // Files: the Tecplot stream is shared by the solver and the coupling.
    if (CPLTE == TE) CPLTE = nullptr;
    for (FILE** f : {&IN, &UCD, &TE, &BA, &RE, &VA, &OUTPUT, &MON, &VEXLAROUT, &CPLRST, &CPLTE})
        closeFile(f);
    cfd_release();
    cfd_turb_release();
    cfd_records_release();
    releaseCoupling();
    UCDINLET = UCDOUTLET = nullptr;
    PHIMGP_0 = nullptr;
    clear(_cfdpdrive), clear(_cfdpdir), clear(_cfdpname), clear(_cfdprj), clear(TITLE);

    // Switches and counters of the solver.
    INITYN = CONTAMINANT = ENERGY = NOC = CRESTART = ICOMPU = EWCYN = NITER = 0;
    cfd_state = {};
    VSTEADY = CSTEADY = 1;
    clear(CACTIVE);
    IM2 = JM2 = KM2 = IM1 = JM1 = KM1 = IMAX = JMAX = KMAX = NI = NJ = NK = 0;
    I2DX = I2DY = I2DZ = 0;
    XX = YY = ZZ = XP = YP = ZP = 0.0;
    GRA = NULLP = TM = TINIT = BETA = REFDENS = OPERDENS = FLOWIN = 0.0;
    PBYN = TPLSTEP = IMON = JMON = KMON = 0;
    TIMESTEP = TIMEMAX = CFDTIME = 0.0;
    clear(_cfdzoneMfi), clear(CIG);
    ANU = ACP = PRL = PAMB = AK = 0.0;
    NBIN = NBOUT = NBL = NAWT = NAWQ = 0;
    NXSLCF = NYSLCF = NZSLCF = 0;

    // Items of the input file.
    CRESIDU = CRITE = PINTV = 0.0;
    CMAXITER = TPLSTEP1 = TPLSTEP2 = NITMAX = LAMIN = ITUR = BUOYML = DUMPLOG = 0;
    DIFFSMU = DIFFSMV = DIFFSMW = DIFFSMT = DIFFSMC = 0;
    UMIN = UMAX = VMIN = VMAX = WMIN = WMAX = TMIN = TMAX = 0.0;
    URFU = URFV = URFW = URFP = URFT = URFEK = URFED = URFC = 0.0;
    DTU = DTV = DTW = DTT = DTEK = DTED = DTC = 0.0;
    CDTU = CDTV = CDTW = CDTT = CDTEK = CDTED = CDTC = 0.0;
    STEP = ISTEP = 0;
    IREF = JREF = KREF = IP1 = IP2 = IPSTP = JP1 = JP2 = JPSTP = 0;

    // Solution state.
    N1 = N2 = N3 = 0;
    imax_ave = jmax_ave = kmax_ave = imax_coa = jmax_coa = kmax_coa = 0;
    imaxGS = jmaxGS = kmaxGS = GSnum = nn_mg = 0;
    err_mg = 0.0;
    RESOM = RESOU = RESOV = RESOW = RESOT = RESOC = 0.0;
    RP0 = RU0 = RV0 = RW0 = RT0 = RPP0 = resomnr = 0.0;
    clear(RPC0);
    FLOWGIVEN = ppref = INCTM = SUMM = SUMMA = CN = 0.0;
    CCI = CINDEX = ENDSTEP = 0;
    _cfdzonemp = _cfdzonemp1 = 0.0;
    PrintVel = PrintGeo = 1;
    cfd_write_failures = 0;
    cfd_flow_converged = cfd_ctm_converged = true;
    cfd_limit_warned = 0;
    for (double& v : PHI_MIN) v = CFD_MIN_START;
    for (double& v : PHI_MAX) v = CFD_MAX_START;

    // Coupling.
    COUPLE = _cpl = _ctmcpl = _ctlctmcpl = _cciter = _cpliter = _doneflow = _donectm = 0;
    _ufstart = _crestart = 0;
    _tcpl = MAXCPL = _finaliter = _dumpR = _dump = _cfdrunty = _readrst = _nctmcpl = _cnctlt = 0;
    _convcpl = 0.0;
}

}  // namespace vexlar
