// Private to the stiff-integrator loop's files: the contaminant summary's books under the
// stiff integrator, what every source and sink released and removed, what every filter
// was challenged with and passed, and what the envelope exchanged with the outdoors,
// species by species. The integrator carries them as its quadratures and so integrates
// them by the formula it integrates the masses with, from their rates at each step's
// solution: released = stored + removed + exchanged then holds step by step to its
// Newton tolerance, and the books neither limit a step nor enter its Newton iterations
// (a quadrature of the rates on each step's interpolant afterwards would miss the step's
// change by its local error, and those misses add up). A filter's challenge and passage
// are booked whether or not the summary is written: its loading follows what they say it
// captured.
#pragma once
#include <vector>

namespace vexlar {

struct AirPath;

// Whether path p has a filter whose challenge and passage the books keep.
bool filterBooked(const AirPath* p);

class StiffBooks {
public:
    // Finds every total the books add to (each once) and returns their number.
    int build();
    int size() const { return (int)slot_.size(); }
    // The rate [kg/s] of every total at the nodes', sources' and flows' present values,
    // into r; the totals themselves are left as they were.
    void rates(double* r);
    // The totals take what the books b gained since the last post (or lost: a state set
    // back takes its books back with it).
    void post(const double* b);

private:
    std::vector<double*> slot_;
    std::vector<double> kept_, posted_;
};

}  // namespace vexlar
