#pragma once
// Rows of an image are independent, so they are shared out between threads. Each row's result
// depends only on its index, never on which thread or in which order it ran.

#include <functional>

namespace orvanth::texgen {

// The number of threads to use when the caller asks for 0 ("as many as the machine has").
int DefaultThreads();

// Runs body(row) once for every row in [0, rows) on `threads` threads (0: DefaultThreads()).
// The first exception thrown by a body is rethrown after all threads have stopped.
void ForEachRow(int rows, int threads, const std::function<void(int)>& body);

}  // namespace orvanth::texgen
