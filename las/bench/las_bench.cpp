// Speed of reading and writing uncompressed LAS point records.
#include <benchmark/benchmark.h>
