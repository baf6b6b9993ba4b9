// How many hashing threads a job starts.
#pragma once

// SUMVANE_THREADS when it holds a number from 1 up, else one per processor
// this process may use; never more than `most` (each needs an open file).
unsigned hashingThreads(unsigned most);
