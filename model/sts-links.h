// Link records of the short-time-step duct model: one per duct segment, terminal and
// leak, built with the network when that method is chosen and filled by its set-up
// (duct cells, plugs and their mass fractions) before the first short time step.
#pragma once
#include <cstdint>

namespace vexlar {

struct AirNode;
struct AirPath;
struct JunctionNode;

// One cell or plug of a duct's ring; its mass fractions are carved with the record.
struct DuctCell {
    DuctCell* next;          // toward the duct's end
    DuctCell* prev;
    double position;         // cell centre from the duct start [m]
    double length;           // [m]
    double inv_spacing;      // 1 / distance to the neighbour centre downstream [1/m]
    double* mf;              // _nctm values, in the same allocation just past the record
};

// The contents of one duct segment.
struct DuctLagData {
    DuctCell* head_cell;     // first active cell (x = 0)
    DuctCell* tail_cell;     // last active cell
    double* outlet_mf;       // what left the duct during the step
    double* mf_start;        // latest values at x = 0
    double* mf_end;          // latest values at x = length
    double cell_length;      // [m]
    double inv_cell_length;  // [1/m]
    float length;            // [m]
    float diameter;          // hydraulic diameter [m]
    float area;              // cross-section [m2]
    int32_t cell_count;      // interior cells, 0 for none
    int32_t mode;            // +1/-1 plugs moving with/against the duct direction, 0 fixed cells
    int32_t number;          // duct number
};

struct DuctLink {
    DuctLink* next;
    DuctLagData* lag;
    JunctionNode* from_junction;  // positive flow runs from start to end
    JunctionNode* to_junction;
    AirPath* path;
    int32_t number;               // duct number
    double link_flow;             // [kg/s], copied each step
    int32_t network;              // duct network number
};

// A duct terminal or a duct leak: from its junction into the zone it serves.
struct TerminalLink {
    TerminalLink* next;
    JunctionNode* junction;
    AirNode* zone_node;
    AirPath* path;
    double link_flow;             // [kg/s], positive from the junction into the zone
    int32_t number;               // junction number
};
typedef TerminalLink LeakLink;

extern DuctLink* _duct0;          // segment order (reordered by the duct sequencer)
extern TerminalLink* _term0;      // junction order
extern LeakLink* _leak0;          // junction order

}  // namespace vexlar
