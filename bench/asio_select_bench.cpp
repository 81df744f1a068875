// The Asio rows without the completion port backend. Run by nbase_bench once
// per repetition; writes one line of figures to the file named on its
// command line:  <bulk tasks/s> <bulk poster ns/post> <sparse post us> <sparse latency us>
// Exits with 3 (and says which part on stderr) when a measurement or the
// queue's stop did not finish within its bound.
#include "asio_queue.h"

#include <cstdio>
#include <cstdlib>

#include "bench_queues.h"

namespace {

int GaveUp(const char* what) {
  std::fprintf(stderr, "nbase_bench_asio_select: %s did not finish within its bound\n", what);
  return 3;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: nbase_bench_asio_select <out-file> <bulk-count> <sparse-count>\n");
    return 2;
  }
  const int bulk_count = std::atoi(argv[2]);
  const int sparse_count = std::atoi(argv[3]);
  bench::BulkResult bulk;
  bench::SparseResult sparse;
  // A queue given up is left running; returning from main ends its thread.
  auto* bulk_queue = new bench::AsioQueue;
  if (!bench::RunBulk(*bulk_queue, bulk_count, &bulk)) return GaveUp("the bulk run");
  if (!bench::Retire(bulk_queue)) return GaveUp("the stop after the bulk run");
  auto* sparse_queue = new bench::AsioQueue;
  if (!bench::RunSparse(*sparse_queue, sparse_count, &sparse)) return GaveUp("the sparse run");
  if (!bench::Retire(sparse_queue)) return GaveUp("the stop after the sparse run");
  FILE* out = std::fopen(argv[1], "w");
  if (!out) return 1;
  std::fprintf(out, "%.6f %.6f %.6f %.6f\n", bulk.tasks_per_s, bulk.post_ns, sparse.post_us, sparse.latency_us);
  std::fclose(out);
  return 0;
}
