// The Asio rows without the completion port backend. Run by nbase_bench once
// per repetition; writes one line of figures to the file named on its
// command line:  <bulk tasks/s> <bulk poster ns/post> <sparse post us> <sparse latency us>
#include "asio_queue.h"

#include <cstdio>
#include <cstdlib>

#include "bench_queues.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: nbase_bench_asio_select <out-file> <bulk-count> <sparse-count>\n");
    return 2;
  }
  const int bulk_count = std::atoi(argv[2]);
  const int sparse_count = std::atoi(argv[3]);
  bench::BulkResult bulk;
  bench::SparseResult sparse;
  {
    bench::AsioQueue queue;
    bulk = bench::RunBulk(queue, bulk_count);
  }
  {
    bench::AsioQueue queue;
    sparse = bench::RunSparse(queue, sparse_count);
  }
  FILE* out = std::fopen(argv[1], "w");
  if (!out) return 1;
  std::fprintf(out, "%.6f %.6f %.6f %.6f\n", bulk.tasks_per_s, bulk.post_ns, sparse.post_us, sparse.latency_us);
  std::fclose(out);
  return 0;
}
