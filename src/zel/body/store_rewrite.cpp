// Rewriting a value set's store. The recombination is the costly one: a
// pass over every old mode a block of nodes at a time, a product, and a
// write of every new mode's part of the block. With two cores the product
// on one of them and the file work on the other, a block ahead and a block
// behind, take less time than both cores on the product and the file work
// waiting for it.
#include "body/store_rewrite.h"

#include <cblas.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "body/database.h"
#include "body/mode_cache.h"
#include "body/tempstore.h"
#include "format/block_table.h"
#include "zel.h"

namespace zel {
namespace {

// What stopped a rewrite's file work, if anything did.
enum class IoOutcome { kDone, kReadFailed, kWriteFailed };

// File work run in the order it was posted: on a thread of its own, or at
// once on the caller's (without overlap, or when no thread could be
// started). After a failure the later jobs are skipped; an exception in a
// job is rethrown to the caller. The caller leaves the buffers and stores
// a job uses alone until it has waited for that job, and declares them
// before this object: the thread is joined on every way out, exceptions
// included, before they go.
class FileWork {
 public:
  using Job = std::function<IoOutcome()>;

  explicit FileWork(bool own_thread) {
    if (!own_thread) return;
    try {
      worker_ = std::thread([this] { work(); });
    } catch (const std::system_error &) {
      // No second thread: the same jobs run inline.
    }
  }
  ~FileWork() {
    if (!worker_.joinable()) return;
    {
      const std::lock_guard lock(mutex_);
      closing_ = true;
      jobs_.clear();
    }
    changed_.notify_all();
    worker_.join();
  }
  FileWork(const FileWork &) = delete;
  FileWork &operator=(const FileWork &) = delete;

  bool threaded() const { return worker_.joinable(); }

  // Queues `job`; its ticket for wait_for.
  int64_t post(Job job) {
    if (!threaded()) {
      if (outcome_ == IoOutcome::kDone && !error_) finish(run(job));
      return ++posted_;
    }
    {
      const std::lock_guard lock(mutex_);
      jobs_.push_back(std::move(job));
      ++posted_;
    }
    changed_.notify_all();
    return posted_;
  }

  // Waits until job `ticket` and every job before it ran, or one failed:
  // the first failure, else kDone.
  IoOutcome wait_for(int64_t ticket) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return finished_ >= ticket || outcome_ != IoOutcome::kDone || error_; });
    if (error_) std::rethrow_exception(error_);
    return outcome_;
  }
  IoOutcome wait_for_all() { return wait_for(posted_); }

 private:
  IoOutcome run(const Job &job) {
    try {
      return job();
    } catch (...) {
      error_ = std::current_exception();
      return IoOutcome::kDone;
    }
  }
  void finish(IoOutcome outcome) {
    if (outcome_ == IoOutcome::kDone) outcome_ = outcome;
    ++finished_;
  }
  void work() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return closing_ || !jobs_.empty(); });
      if (jobs_.empty()) return;
      const Job job = std::move(jobs_.front());
      jobs_.pop_front();
      const bool skip = outcome_ != IoOutcome::kDone || error_;
      lock.unlock();
      const IoOutcome outcome = skip ? IoOutcome::kDone : run(job);
      lock.lock();
      finish(outcome);
      changed_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> jobs_;
  int64_t posted_ = 0;    // the caller's alone
  int64_t finished_ = 0;  // under the mutex, as the rest
  IoOutcome outcome_ = IoOutcome::kDone;
  std::exception_ptr error_;
  bool closing_ = false;
  std::thread worker_;  // last: started once the rest is ready
};

// The BLAS on one thread while it lasts: the second core is the file
// work's.
class SingleBlasThread {
 public:
  SingleBlasThread() : before_(openblas_get_num_threads()) { openblas_set_num_threads(1); }
  ~SingleBlasThread() { openblas_set_num_threads(before_); }
  SingleBlasThread(const SingleBlasThread &) = delete;
  SingleBlasThread &operator=(const SingleBlasThread &) = delete;

 private:
  int before_;
};

bool report_failure(IoOutcome outcome, const TempStore &store) {
  if (outcome == IoOutcome::kReadFailed)
    ZEL_Error("Failed to extract mode information for ZEL.\n");
  else
    store.report_no_room();
  return false;
}

// The nodes of a set cut into blocks of at most `size` positions.
struct Blocks {
  int32_t positions;
  int32_t size;
  int32_t count() const { return positions == 0 ? 0 : (positions + size - 1) / size; }
  int32_t first(int32_t block) const { return block * size; }
  int32_t length(int32_t block) const { return std::min(size, positions - first(block)); }
};

// One block of nodes in flight: the old modes' values (rows of 6 x length
// values) and the new ones'.
struct BlockBuffers {
  std::unique_ptr<double[]> old_values;
  std::unique_ptr<double[]> new_values;
};

}  // namespace

bool set_has_values(const Database &db, int set) {
  constexpr int kBlocks[kValueSetCount] = {kModeShapesBlock, kModalStressBlock, kModalStrainBlock};
  return db.exists[static_cast<std::size_t>(content_position(kBlocks[set]))] != 0 && db.set_count(set) > 0;
}

bool set_in_double_precision(const Database &db, int set) {
  return db.temp[static_cast<std::size_t>(set)].is_open() ? db.temp[static_cast<std::size_t>(set)].file.double_precision != 0
                                                          : db.file.double_precision != 0;
}

bool create_replacement_store(Database &db, int set, int32_t slots, int32_t positions, const char *created,
                              TempStore &store) {
  // Room for every mode the builder may still add, as the first store had.
  return store.create_replacement(std::max(slots, db.max_modes), positions, set_in_double_precision(db, set), created);
}

void install_store(Database &db, int set, TempStore &replacement) {
  db.temp[static_cast<std::size_t>(set)].swap(replacement);
  replacement.discard();
  db.cache_mode[static_cast<std::size_t>(set)] = -1;
}

bool recombine_store(Database &db, int set, const std::vector<double> &transform, int32_t old_count,
                     int32_t new_count, const char *created, TempStore &store, const RecombinationPlan &plan) {
  const int32_t positions = db.set_count(set);
  if (!create_replacement_store(db, set, new_count, positions, created, store)) return false;
  // Two blocks in flight share the budget.
  const std::size_t per_position = 2 * 48 * static_cast<std::size_t>(old_count + new_count);
  const Blocks blocks{positions, static_cast<int32_t>(std::clamp<std::size_t>(
                                     plan.budget_bytes / per_position, 1, std::max(positions, 1)))};
  std::array<BlockBuffers, 2> buffers;
  for (BlockBuffers &buffer : buffers) {
    buffer.old_values = std::make_unique_for_overwrite<double[]>(static_cast<std::size_t>(old_count) * 6 * blocks.size);
    buffer.new_values = std::make_unique_for_overwrite<double[]>(static_cast<std::size_t>(new_count) * 6 * blocks.size);
  }
  const auto read_block = [&db, set, old_count, blocks](int32_t block, double *values) {
    const int32_t width = 6 * blocks.length(block);
    for (int32_t i = 0; i < old_count; ++i)
      if (!read_stored_records(db, set, i, blocks.first(block), blocks.length(block),
                               values + static_cast<std::size_t>(i) * width))
        return IoOutcome::kReadFailed;
    return IoOutcome::kDone;
  };
  const auto write_block = [&store, new_count, blocks](int32_t block, const double *values) {
    const int32_t width = 6 * blocks.length(block);
    for (int32_t j = 0; j < new_count; ++j)
      if (!store.write_records(j, blocks.first(block), values + static_cast<std::size_t>(j) * width,
                               blocks.length(block)))
        return IoOutcome::kWriteFailed;
    return IoOutcome::kDone;
  };

  FileWork work(plan.overlap_io);
  std::optional<SingleBlasThread> one_blas_thread;
  if (work.threaded()) one_blas_thread.emplace();
  ZEL_TimeMonitor(blocks.count());
  int64_t next_read = 0;
  if (blocks.count() > 0) next_read = work.post([&] { return read_block(0, buffers[0].old_values.get()); });
  for (int32_t block = 0; block < blocks.count(); ++block) {
    const IoOutcome read = work.wait_for(next_read);
    if (read != IoOutcome::kDone) return report_failure(read, store);
    // The other buffers' last reader was the product of the block before
    // and their last writer the write two blocks back, which ran before
    // this block's read: both are free.
    const BlockBuffers &now = buffers[static_cast<std::size_t>(block % 2)];
    if (block + 1 < blocks.count()) {
      double *ahead = buffers[static_cast<std::size_t>((block + 1) % 2)].old_values.get();
      next_read = work.post([&read_block, block, ahead] { return read_block(block + 1, ahead); });
    }
    const int32_t width = 6 * blocks.length(block);
    cblas_dgemm(CblasRowMajor, CblasTrans, CblasNoTrans, new_count, width, old_count, 1.0, transform.data(),
                old_count, now.old_values.get(), width, 0.0, now.new_values.get(), width);
    const double *done = now.new_values.get();
    work.post([&write_block, block, done] { return write_block(block, done); });
    ZEL_TimeMonitorStamp();
  }
  const IoOutcome written = work.wait_for_all();
  if (written != IoOutcome::kDone) return report_failure(written, store);
  if (store.flush()) return true;
  store.report_no_room();
  return false;
}

bool select_store_positions(Database &db, int set, const std::vector<int32_t> &positions, const char *created,
                            TempStore &store) {
  const int32_t count = static_cast<int32_t>(positions.size());
  if (!create_replacement_store(db, set, db.mode_count(), count, created, store)) return false;
  const int32_t old_positions = db.set_count(set);
  std::vector<double> old_values(6 * static_cast<std::size_t>(old_positions));
  std::vector<double> new_values(6 * positions.size());
  for (int32_t mode = 0; mode < db.mode_count(); ++mode) {
    if (!read_stored_records(db, set, mode, 0, old_positions, old_values.data())) {
      ZEL_Error("Failed to extract mode information for ZEL.\n");
      return false;
    }
    for (std::size_t p = 0; p < positions.size(); ++p)
      std::copy_n(old_values.data() + 6 * static_cast<std::size_t>(positions[p]), 6, new_values.data() + 6 * p);
    if (!store.write_slot(mode, new_values.data(), count)) {
      store.report_no_room();
      return false;
    }
  }
  if (store.flush()) return true;
  store.report_no_room();
  return false;
}

}  // namespace zel
