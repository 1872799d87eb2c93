// Readers of the element sections of the project file (filter elements, filters,
// source/sink elements, airflow and duct flow elements) and the name tables whose
// positions are the element types, with the parallel tables that bind each type's model.
#pragma once
#include "common-src/memory.h"
#include "model/elements.h"

namespace vexlar {

// Model tables, parallel to the name tables of model/elements.h.
extern const AFE_MODEL_FN _pfaf[AFE_NTYPES];
extern const FILTER_MODEL_FN _pffl[FLT_NTYPES];
extern const CSE_MODEL_FN _pfss[CSE_NTYPES];

// Models of the elements the network build makes itself, for the simple air-handling
// system's supply/return, recirculation, outdoor-air and exhaust paths, duct leaks and duct
// terminals (types ahs_sr, ahs_xor, d_leak and d_term).
enum { AFE_BI_AHS, AFE_BI_AHR, AFE_BI_AHO, AFE_BI_AHX, AFE_BI_JLK, AFE_BI_TRM, AFE_BI_COUNT };
extern const AFE_MODEL_FN _pfaf_builtin[AFE_BI_COUNT];

int flte_read(FilterElemRec** head, void* ignored, MemBlock** pool);  // "Filter Element"
int filter_read(MemBlock** pool);                                    // "Filter"; returns _nfilt
int cselmt_read(CseRec** head, void* ignored, MemBlock** pool);       // "Source/Sink Element"
// "Airflow Element": duct 0 fills _AfeList, duct 1 the duct flow elements of _DfeList.
int afelmt_read(AfeRec** head, MemBlock** pool, int duct);

}  // namespace vexlar
