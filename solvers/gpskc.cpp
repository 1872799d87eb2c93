// Profile-reducing reordering: ija_optord builds symmetric connection lists of the
// variable equations and asks gpskca for a new numbering; ija_reorder applies it to
// the build pattern. gpskca: pseudo-peripheral end points, the two rooted level
// structures combined into one of least width, then Gibbs-King profile numbering
// (or Cuthill-McKee-like bandwidth numbering) level by level, component by component.
// Every step is linear in the pattern size up to a logarithm.
#include "solvers/gpskc.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "common-src/memory.h"
#include "common-src/messages.h"
#include "solvers/sparse-mat.h"

namespace vexlar {

// ---- sorts ----

static int insertion_sort(int n, int* list, const int* key, bool descending)
{
    if (n == 1)
        return 0;
    if (n <= 0) {
        error(WARNING, __FILE__, __LINE__, "N <= 0", "");
        return 1;
    }
    for (int i = 2; i <= n; i++) {
        int item = list[i], k = key[item], j = i - 1;
        while (j >= 1 && (descending ? key[list[j]] < k : key[list[j]] > k)) {
            list[j + 1] = list[j];
            j--;
        }
        list[j + 1] = item;
    }
    return 0;
}

int gpskcq(int n, int* list, const int* key) { return insertion_sort(n, list, key, false); }
int gpskcp(int n, int* list, const int* key) { return insertion_sort(n, list, key, true); }

namespace {

// Candidate heap of the profile numbering: least (prio, seq) first; pos[x] is x's
// place in the heap, 0 when x is not in it.
struct Heap {
    int* h;
    int* pos;
    int* prio;
    int* seq;
    int size;
};

// A rooted level structure: lvl[x] (0 = not reached), ord[1..size] the nodes by level.
struct Levels {
    int* lvl;
    int* ord;
    int depth, width, size, last;   // last: place in ord of the first node of the last level
};

// State of one gpskca call; all arrays 1-based, carved from one work block.
struct Gps {
    int n;
    const int* rs;
    const int* cn;
    int* degree;
    Levels L[3];
    int *fin, *num, *order, *mark, *cand, *pnodes, *pstart, *pid, *width, *cu, *cv;
    int *lstart, *llist, *nextact, *tmp, *bydeg, *active;
    Heap heap;
    int next, nnext, stamp, seqctr;
};

template <class F> void each_neighbour(const Gps& s, int x, F f)
{
    for (int k = s.rs[x]; k < s.rs[x + 1]; k++)
        if (s.cn[k] != x)
            f(s.cn[k]);
}

bool by_degree(const Gps& s, int a, int b)
{
    return s.degree[a] < s.degree[b] || (s.degree[a] == s.degree[b] && a < b);
}

// ---- input check ----

bool row_holds(const Gps& s, int row, int col, bool sorted)
{
    if (sorted)
        return col_find(s.cn, s.rs[row], s.rs[row + 1], col) != 0;
    for (int k = s.rs[row]; k < s.rs[row + 1]; k++)
        if (s.cn[k] == col)
            return true;
    return false;
}

// Checks one row's entries; sorted[c] tells whether row c can be bisected.
bool gps_check_row(Gps& s, int i, const int* sorted)
{
    bool ok = true, diagonal = false;
    for (int k = s.rs[i]; k < s.rs[i + 1]; k++) {
        int c = s.cn[k];
        if (c < 1 || c > s.n) {
            errorf(WARNING, __FILE__, __LINE__, "Invalid column entry, row %d, col %d", i, c);
            ok = false;
        } else if (s.mark[c] == i) {
            errorf(WARNING, __FILE__, __LINE__, "Duplicate column entry, row %d, col %d", i, c);
            ok = false;
        } else {
            s.mark[c] = i;
            if (c == i)
                diagonal = true;
            else if (!row_holds(s, c, i, sorted[c] != 0)) {
                errorf(WARNING, __FILE__, __LINE__, "Missing column entry, row %d, col %d", c, i);
                ok = false;
            }
        }
    }
    if (!diagonal) {
        errorf(WARNING, __FILE__, __LINE__, "No entry for diagonal of row %d", i);
        ok = false;
    }
    return ok;
}

// Every row is checked before deciding; the degrees are counted on the way.
bool gps_check(Gps& s)
{
    int* sorted = s.tmp;
    for (int i = 1; i <= s.n; i++) {
        sorted[i] = 1;
        for (int k = s.rs[i] + 1; k < s.rs[i + 1]; k++)
            if (s.cn[k - 1] > s.cn[k])
                sorted[i] = 0;
    }
    bool ok = true;
    for (int i = 1; i <= s.n; i++)
        ok = gps_check_row(s, i, sorted) && ok;
    for (int i = 1; i <= s.n; i++) {
        s.mark[i] = 0;
        s.degree[i] = 0;
        each_neighbour(s, i, [&](int) { s.degree[i]++; });
    }
    return ok;
}

// ---- level structures ----

// Rooted level structure of root's component, abandoned (false) as soon as a level
// holds `limit` nodes or more. L.lvl must be clear on the component.
bool bfs_levels(const Gps& s, int root, Levels& L, int limit)
{
    L.lvl[root] = 1;
    L.ord[1] = root;
    int head = 1, tail = 1;
    L.depth = L.width = 0;
    while (head <= tail) {
        int end = tail, w = end - head + 1;
        L.depth++;
        L.last = head;
        if (w >= limit) {
            L.size = tail;
            return false;
        }
        L.width = std::max(L.width, w);
        for (; head <= end; head++)
            each_neighbour(s, L.ord[head], [&](int y) {
                if (!L.lvl[y]) {
                    L.lvl[y] = L.depth + 1;
                    L.ord[++tail] = y;
                }
            });
    }
    L.size = tail;
    return true;
}

void clear_levels(Levels& L)
{
    for (int p = 1; p <= L.size; p++)
        L.lvl[L.ord[p]] = 0;
    L.size = 0;
}

// Nodes of the last level, one per distinct degree, smallest degree first.
int last_level_candidates(Gps& s, const Levels& L)
{
    int nc = 0;
    s.stamp++;
    for (int p = L.last; p <= L.size; p++) {
        int x = L.ord[p];
        if (s.mark[s.degree[x]] != s.stamp) {
            s.mark[s.degree[x]] = s.stamp;
            s.cand[++nc] = x;
        }
    }
    gpskcq(nc, s.cand, s.degree);
    return nc;
}

// Pseudo-peripheral pair: u ends the deepest rooted structure found (restarting from
// any deeper one), v is the last-level node of u whose structure is narrowest.
// On return s.L[0] is rooted at u, s.L[1] at v.
void find_ends(Gps& s, int start, int* u, int* v)
{
    Levels& LU = s.L[0];
    Levels& LV = s.L[1];
    Levels& LW = s.L[2];
    *u = start;
    bfs_levels(s, start, LU, INT_MAX);
    for (bool deeper = true; deeper;) {
        deeper = false;
        int best = INT_MAX, nc = last_level_candidates(s, LU);
        *v = 0;
        for (int t = 1; t <= nc && !deeper; t++) {
            int w = s.cand[t];
            bool done = bfs_levels(s, w, LW, best);
            if (done && LW.depth > LU.depth) {
                std::swap(LU, LW);
                *u = w;
                deeper = true;
            } else if (done && LW.width < best) {
                best = LW.width;
                std::swap(LV, LW);
                *v = w;
            }
            clear_levels(LW);
        }
        if (deeper)
            clear_levels(LV);
    }
}

// ---- combined level structure ----

// Pieces: connected sets of the nodes whose two levels disagree, largest first.
int find_pieces(Gps& s, const Levels& LU)
{
    int npieces = 0, pos = 0;
    s.stamp++;
    for (int p = 1; p <= LU.size; p++) {
        int x = LU.ord[p];
        if (s.fin[x] != 0 || s.mark[x] == s.stamp)
            continue;
        s.pstart[++npieces] = pos + 1;
        s.pid[npieces] = npieces;
        s.mark[x] = s.stamp;
        s.pnodes[++pos] = x;
        for (int q = s.pstart[npieces]; q <= pos; q++)
            each_neighbour(s, s.pnodes[q], [&](int y) {
                if (s.fin[y] == 0 && s.mark[y] != s.stamp) {
                    s.mark[y] = s.stamp;
                    s.pnodes[++pos] = y;
                }
            });
    }
    s.pstart[npieces + 1] = pos + 1;
    auto size = [&](int c) { return s.pstart[c + 1] - s.pstart[c]; };
    std::sort(&s.pid[1], &s.pid[1] + npieces,
              [&](int a, int b) { return size(a) > size(b) || (size(a) == size(b) && a < b); });
    return npieces;
}

// Puts one piece on the levels of u's structure or on the reversed levels of v's,
// whichever keeps the widest level it touches narrower.
void place_piece(Gps& s, int c, bool u_narrower)
{
    const Levels& LU = s.L[0];
    const Levels& LV = s.L[1];
    int k = LU.depth, from = s.pstart[c], to = s.pstart[c + 1];
    for (int q = from; q < to; q++) {
        int x = s.pnodes[q];
        s.cu[LU.lvl[x]]++;
        s.cv[k + 1 - LV.lvl[x]]++;
    }
    int hmax = 0, lmax = 0;
    for (int q = from; q < to; q++) {
        int x = s.pnodes[q], a = LU.lvl[x], b = k + 1 - LV.lvl[x];
        hmax = std::max(hmax, s.width[a] + s.cu[a]);
        lmax = std::max(lmax, s.width[b] + s.cv[b]);
    }
    bool use_u = hmax < lmax || (hmax == lmax && u_narrower);
    for (int q = from; q < to; q++) {
        int x = s.pnodes[q], a = LU.lvl[x], b = k + 1 - LV.lvl[x];
        s.cu[a] = s.cv[b] = 0;
        s.fin[x] = use_u ? a : b;
    }
    for (int q = from; q < to; q++)
        s.width[s.fin[s.pnodes[q]]]++;
}

// fin[x]: the level of every node of the component in the combined structure.
void combine_levels(Gps& s)
{
    const Levels& LU = s.L[0];
    const Levels& LV = s.L[1];
    int k = LU.depth;
    for (int l = 1; l <= k; l++)
        s.width[l] = 0;
    for (int p = 1; p <= LU.size; p++) {
        int x = LU.ord[p], a = LU.lvl[x], b = k + 1 - LV.lvl[x];
        s.fin[x] = a == b ? a : 0;
        if (a == b)
            s.width[a]++;
    }
    int npieces = find_pieces(s, LU);
    for (int t = 1; t <= npieces; t++)
        place_piece(s, s.pid[t], LU.width <= LV.width);
}

// llist[lstart[l] .. lstart[l+1]-1]: the nodes of level l, smallest degree first.
void build_level_lists(Gps& s)
{
    const Levels& LU = s.L[0];
    int k = LU.depth;
    for (int l = 1; l <= k + 1; l++)
        s.lstart[l] = 0;
    for (int p = 1; p <= LU.size; p++)
        s.lstart[s.fin[LU.ord[p]] + 1]++;
    s.lstart[1] = 1;
    for (int l = 2; l <= k + 1; l++)
        s.lstart[l] += s.lstart[l - 1];
    for (int p = 1; p <= LU.size; p++) {
        int x = LU.ord[p];
        s.llist[s.lstart[s.fin[x]]++] = x;
    }
    for (int l = k + 1; l >= 2; l--)
        s.lstart[l] = s.lstart[l - 1];
    s.lstart[1] = 1;
    for (int l = 1; l <= k; l++)
        std::sort(&s.llist[s.lstart[l]], &s.llist[s.lstart[l]] + (s.lstart[l + 1] - s.lstart[l]),
                  [&](int a, int b) { return by_degree(s, a, b); });
}

// ---- numbering ----

void number_node(Gps& s, int x)
{
    s.num[x] = ++s.next;
    s.order[s.next] = x;
}

// Next unnumbered node of level l with the smallest degree; *ptr walks the list.
int least_degree_unnumbered(const Gps& s, int* ptr)
{
    while (s.num[s.llist[*ptr]])
        (*ptr)++;
    return s.llist[*ptr];
}

int unnumbered_in_level(const Gps& s, int l)
{
    int count = 0;
    for (int p = s.lstart[l]; p < s.lstart[l + 1]; p++)
        count += !s.num[s.llist[p]];
    return count;
}

bool heap_less(const Heap& H, int a, int b)
{
    return H.prio[a] < H.prio[b] || (H.prio[a] == H.prio[b] && H.seq[a] < H.seq[b]);
}

void heap_up(Heap& H, int i)
{
    int x = H.h[i];
    while (i > 1 && heap_less(H, x, H.h[i / 2])) {
        H.h[i] = H.h[i / 2];
        H.pos[H.h[i]] = i;
        i /= 2;
    }
    H.h[i] = x;
    H.pos[x] = i;
}

void heap_push(Heap& H, int x)
{
    H.h[++H.size] = x;
    heap_up(H, H.size);
}

int heap_pop(Heap& H)
{
    int top = H.h[1], last = H.h[H.size--];
    H.pos[top] = 0;
    if (H.size == 0)
        return top;
    int i = 1;
    for (int c = 2; c <= H.size; i = c, c = 2 * i) {
        if (c < H.size && heap_less(H, H.h[c + 1], H.h[c]))
            c++;
        if (!heap_less(H, H.h[c], last))
            break;
        H.h[i] = H.h[c];
        H.pos[H.h[i]] = i;
    }
    H.h[i] = last;
    H.pos[last] = i;
    return top;
}

// Nodes that numbering x would bring into the front: unnumbered, not yet active.
int new_front(const Gps& s, int x)
{
    int count = 0;
    each_neighbour(s, x, [&](int y) { count += !s.num[y] && !s.active[y]; });
    return count;
}

void push_candidate(Gps& s, int x)
{
    s.heap.prio[x] = new_front(s, x);
    heap_push(s.heap, x);
}

// y joins the front: a candidate now when it lies on the current level, at the next
// level's start otherwise; its neighbours among the candidates bring one node less.
void activate(Gps& s, int y, int cur)
{
    s.active[y] = 1;
    s.heap.seq[y] = ++s.seqctr;
    if (s.fin[y] == cur)
        push_candidate(s, y);
    else
        s.nextact[++s.nnext] = y;
    each_neighbour(s, y, [&](int z) {
        if (s.heap.pos[z]) {
            s.heap.prio[z]--;
            heap_up(s.heap, s.heap.pos[z]);
        }
    });
}

// Gibbs-King numbering of level cur: always the candidate that adds fewest nodes to
// the front, earliest to become a candidate on ties.
void king_level(Gps& s, int cur)
{
    for (int t = 1; t <= s.nnext; t++)
        push_candidate(s, s.nextact[t]);
    s.nnext = 0;
    int ptr = s.lstart[cur];
    for (int left = unnumbered_in_level(s, cur); left > 0; left--) {
        if (s.heap.size == 0) {
            int x = least_degree_unnumbered(s, &ptr);
            s.heap.seq[x] = ++s.seqctr;
            push_candidate(s, x);
        }
        int w = heap_pop(s.heap);
        number_node(s, w);
        each_neighbour(s, w, [&](int y) {
            if (!s.num[y] && !s.active[y])
                activate(s, y, cur);
        });
    }
}

// Bandwidth numbering of level cur: the unnumbered neighbours on this level of each
// numbered node from `from` on, in order, smallest degree first.
void bandwidth_level(Gps& s, int cur, int from)
{
    int ptr = s.lstart[cur], left = unnumbered_in_level(s, cur);
    for (int q = from; left > 0;) {
        if (q > s.next) {
            number_node(s, least_degree_unnumbered(s, &ptr));
            left--;
            continue;
        }
        int nt = 0;
        each_neighbour(s, s.order[q++], [&](int y) {
            if (!s.num[y] && s.fin[y] == cur)
                s.tmp[++nt] = y;
        });
        std::sort(&s.tmp[1], &s.tmp[1] + nt, [&](int a, int b) { return by_degree(s, a, b); });
        for (int t = 1; t <= nt; t++)
            number_node(s, s.tmp[t]);
        left -= nt;
    }
}

void number_component(Gps& s, int u, int option)
{
    int k = s.L[0].depth, from = s.next + 1;
    if (option != 0) {
        s.heap.seq[u] = ++s.seqctr;
        push_candidate(s, u);
    } else
        number_node(s, u);
    for (int cur = 1; cur <= k; cur++) {
        int first = s.next + 1;
        if (option != 0)
            king_level(s, cur);
        else
            bandwidth_level(s, cur, from);
        from = cur == 1 ? from : first;
    }
}

void renumber_component(Gps& s, int start, int option)
{
    int u, v;
    find_ends(s, start, &u, &v);
    if (s.degree[v] < s.degree[u]) {
        std::swap(u, v);
        std::swap(s.L[0], s.L[1]);
    }
    combine_levels(s);
    build_level_lists(s);
    number_component(s, u, option);
    clear_levels(s.L[0]);
    clear_levels(s.L[1]);
}

void numbering_stats(const Gps& s, const int* num, int64_t* profile, int* band)
{
    *profile = 0;
    *band = 0;
    for (int w = 1; w <= s.n; w++) {
        int e = 0;
        each_neighbour(s, w, [&](int k) { e = std::max(e, num[w] - num[k]); });
        *profile += e;
        *band = std::max(*band, e);
    }
}

constexpr int GPS_ARRAYS = 27;   // arrays of n + 2 ints in the work block

void gps_carve(Gps& s, int* work)
{
    int** arrays[] = {&s.L[0].lvl, &s.L[0].ord, &s.L[1].lvl, &s.L[1].ord, &s.L[2].lvl,
                      &s.L[2].ord, &s.fin, &s.num, &s.order, &s.mark, &s.cand, &s.pnodes,
                      &s.pstart, &s.pid, &s.width, &s.cu, &s.cv, &s.lstart, &s.llist,
                      &s.nextact, &s.tmp, &s.bydeg, &s.active, &s.heap.h, &s.heap.pos,
                      &s.heap.prio, &s.heap.seq};
    static_assert(sizeof(arrays) / sizeof(arrays[0]) == GPS_ARRAYS, "work block layout");
    for (int t = 0; t < GPS_ARRAYS; t++)
        *arrays[t] = work + (size_t)t * (s.n + 2);
}

}  // namespace

static int gps_give_up(const char* check)
{
    if (check)
        error(WARNING, __FILE__, __LINE__, check, "");
    error(NOTE, __FILE__, __LINE__, "Equations were not reordered", "");
    return 1;
}

int gpskca(int n, const int* rstart, const int* connec, int* permut, int option)
{
    if (n <= 0)
        return gps_give_up("N <= 0");
    Gps s{};
    s.n = n;
    s.rs = rstart;
    s.cn = connec;
    s.degree = alc_vT<int>(1, n, "degree");
    int* work = alc_vT<int>(1, GPS_ARRAYS * (n + 2), "work");
    gps_carve(s, &work[1]);
    int result = 0;
    if (!gps_check(s))
        result = gps_give_up(nullptr);
    else {
        for (int i = 1; i <= n; i++)
            s.bydeg[i] = i;
        std::sort(&s.bydeg[1], &s.bydeg[1] + n, [&](int a, int b) { return by_degree(s, a, b); });
        for (int p = 1; p <= n; p++)
            if (!s.num[s.bydeg[p]])
                renumber_component(s, s.bydeg[p], option);
        if (s.next != n)
            result = gps_give_up("nxtnum != nfinal");
    }
    if (result == 0) {
        int64_t pnew, pold;
        int bnew, bold;
        numbering_stats(s, s.num, &pnew, &bnew);
        numbering_stats(s, permut, &pold, &bold);
        if ((option != 0 && pnew < pold) || (option != 1 && bnew < bold))
            std::copy(&s.num[1], &s.num[1] + n, &permut[1]);
    }
    fre_vT(work, 1, GPS_ARRAYS * (n + 2), "work");
    fre_vT(s.degree, 1, n, "degree");
    return result;
}

// ---- reordering of a build pattern ----

// Counts, in rstart[i + 1], the entries row i of the connection lists will receive:
// every column c <= nvar of row i, and i in row c for the mirror.
static int optord_count(const int* ijf, int nvar, int* rstart)
{
    for (int i = 0; i <= nvar + 1; i++)
        rstart[i] = 0;
    for (int i = 1; i <= nvar; i++)
        for (int k = ijf[i]; k < ijf[i + 1]; k++) {
            int c = ijf[k];
            if (c > nvar || c < 1)
                continue;
            rstart[i + 1]++;
            if (c != i)
                rstart[c + 1]++;
        }
    rstart[1] = 1;
    for (int i = 2; i <= nvar + 1; i++)
        rstart[i] += rstart[i - 1];
    return rstart[nvar + 1] - 1;
}

// Fills the lists counted above, then sorts every row and drops repeated columns. A
// one-way coupling (a reaction, say) thus still yields symmetric lists.
static void optord_fill(const int* ijf, int nvar, int* rstart, int* connec)
{
    for (int i = 1; i <= nvar; i++)
        for (int k = ijf[i]; k < ijf[i + 1]; k++) {
            int c = ijf[k];
            if (c > nvar || c < 1)
                continue;
            connec[rstart[i]++] = c;
            if (c != i)
                connec[rstart[c]++] = i;
        }
    for (int i = nvar + 1; i >= 2; i--)
        rstart[i] = rstart[i - 1];
    rstart[1] = 1;
    int out = 1;
    for (int i = 1, from = 1; i <= nvar; i++) {
        int to = rstart[i + 1];
        std::sort(&connec[from], &connec[from] + (to - from));
        rstart[i] = out;
        for (int k = from; k < to; k++)
            if (out == rstart[i] || connec[k] != connec[out - 1])
                connec[out++] = connec[k];
        from = to;
    }
    rstart[nvar + 1] = out;
}

bool ija_optord(const int* ijf, int* perm, int nnz, int neq, int nvar)
{
    if (nvar <= 2)
        return false;
    ulog_printf("Determining equation reordering:\n");
    ulog_flush();
    int* rstart = alc_vT<int>(0, neq + 1, "rstart");
    int total = optord_count(ijf, nvar, rstart);
    int clen = std::max(total, nnz);
    int* connec = alc_vT<int>(1, clen, "connec");
    optord_fill(ijf, nvar, rstart, connec);
    for (int i = 1; i <= neq; i++)
        perm[i] = i;
    bool changed = false;
    if (gpskca(nvar, rstart, connec, perm, 1) == 0 && neq >= 1)
        for (int i = 1; i <= neq && !changed; i++)
            changed = perm[i] != i;
    ulog_printf(changed ? "Equations will be reordered.\n" : "Equations will not be reordered.\n");
    ulog_flush();
    fre_vT(connec, 1, clen, "connec");
    fre_vT(rstart, 0, neq + 1, "rstart");
    return changed;
}

void ija_reorder(int* ijf, const int* perm, int nnz, int neq)
{
    int* ijn = alc_vT<int>(1, nnz, "ijn");
    int* old = alc_vT<int>(1, neq, "old");
    for (int i = 1; i <= neq; i++)
        old[perm[i]] = i;
    int pos = neq + 2;
    for (int j = 1; j <= neq; j++) {
        ijn[j] = pos;
        int o = old[j];
        for (int k = ijf[o]; k < ijf[o + 1]; k++, pos++) {
            int c = ijf[k] >= 1 && ijf[k] <= neq ? perm[ijf[k]] : ijf[k];
            int p = pos;
            for (; p > ijn[j] && ijn[p - 1] > c; p--)
                ijn[p] = ijn[p - 1];
            ijn[p] = c;
        }
    }
    ijn[neq + 1] = pos;
    std::copy(&ijn[1], &ijn[1] + nnz, &ijf[1]);
    fre_vT(old, 1, neq, "old");
    fre_vT(ijn, 1, nnz, "ijn");
}

}  // namespace vexlar
