#pragma once

#include <functional>

#include "core/Filter.h"

namespace imvora {

// Threads that ForEachRowBand uses; 0 means one per processor core. Results never depend on it.
void SetWorkerThreads(int threads);
int WorkerThreads();

// Runs work(first, last) over the rows [first, last) of [0, rows) in bands, on up to
// WorkerThreads() threads at once. Bands must be independent: a band writes only its own rows
// and reads nothing another band writes. Progress goes to the host (when there is one) from the
// calling thread between bands; a report that throws (a cancel) stops the bands not yet
// started, waits for the running ones and propagates, as does the first exception of a band.
void ForEachRowBand(int rows, IFilterHost* host, const std::function<void(int, int)>& work);

}  // namespace imvora
