// Steady initialisation of a simulation run: the steady airflow (and, for steady
// contaminant runs, transport) solution at the start time, written as the single result
// time of a steady run; or the restart of a run from a restart-file record.
#pragma once

namespace vexlar {

void sim_init(int write);
int sim_init_restart();   // 0 when the run resumes from the restart record, else 1

// 1 when the run resumed from a restart record written at its own start time: the
// writing run's start passed the start-time checks, and the step grid is the writing run's.
int resumedAtRecordTime();
// Forgets how the run started, at the end of the run.
void sim_start_reset();

// Whether the run lists its start time: always, but for a run resumed at a record that fell
// between listing times, where the run it continues listed nothing.
bool startIsListed();

}  // namespace vexlar
