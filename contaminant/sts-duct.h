// Duct networks of the short-time-step method: the duct links ordered from upstream to
// downstream for one step (a flow loop broken at its weakest link) and the mixing of the
// junctions from what flows into them.
#pragma once

namespace vexlar {

struct DuctLink;
struct JunctionNode;

// Orders the links so that every link comes after all links feeding its upstream
// junction; counts the inflowing links of each junction and adds the link flows to the
// junctions' inflow and outflow. Returns the first link of the order. FATAL when no order
// exists.
DuctLink* LinkSeq(DuctLink* first);

// Resets every junction's count of links still to arrive and mixes the junctions no duct
// feeds.
void LinkSet();

// Mixes one junction from its step sums: with air storage (and no duct cells) the stored
// mass is carried over, otherwise the inflow is flow-weighted; without any inflow the
// junction keeps its mass fractions.
void mixJunction(JunctionNode* j, bool storage);

// Junction heat capacities and temperatures over the ordered links, by the same rules as
// the mixing: stored air mixed with the inflows' heat, or the inflows' mean.
void LinkTSim(DuctLink* first);

}  // namespace vexlar
