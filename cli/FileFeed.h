// The files of a run, handed from the walk to the reading threads while the
// walk goes on: the walk adds each file as it finds it, each reading thread
// takes the next one with the place its result goes, and the run reads the
// results in the order the files were added. A place, once handed out, stays
// where it is while more files are added.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

template <typename TName, typename TResult>
class TFileFeed {
 public:
  // The walk: one more file, after those added before.
  void Add(TName AName) {
    auto result = std::make_unique<TResult>();
    {
      const std::lock_guard<std::mutex> held(FLock);
      FNames.push_back(std::move(AName));
      FResults.push_back(std::move(result));
    }
    FMore.notify_one();
  }

  // The walk has ended (or the run stops taking files): no file is added
  // after this, and a thread waiting for one is let go.
  void Close() {
    {
      const std::lock_guard<std::mutex> held(FLock);
      FClosed = true;
    }
    FMore.notify_all();
  }

  // Takes no more files: those not taken yet keep their empty results.
  void Stop() {
    {
      const std::lock_guard<std::mutex> held(FLock);
      FClosed = true;
      FNext = FNames.size();
    }
    FMore.notify_all();
  }

  // The next file not taken yet, waiting while the walk may add one: its
  // name and the place its result goes; false when the walk has ended and
  // every file was taken.
  bool Take(TName& AName, TResult*& AResult) {
    std::unique_lock<std::mutex> held(FLock);
    FMore.wait(held, [&] { return FNext < FNames.size() || FClosed; });
    if (FNext >= FNames.size()) return false;
    AName = FNames[FNext];
    AResult = FResults[FNext].get();
    ++FNext;
    return true;
  }

  // After the walk, with no thread taking any more: how many files there are,
  // and each file's name and result in the order they were added.
  std::size_t Count() const { return FNames.size(); }
  const TName& Name(std::size_t AIndex) const { return FNames[AIndex]; }
  TResult& Result(std::size_t AIndex) { return *FResults[AIndex]; }

 private:
  std::mutex FLock;
  std::condition_variable FMore;
  std::vector<TName> FNames;
  std::vector<std::unique_ptr<TResult>> FResults;
  std::size_t FNext = 0;
  bool FClosed = false;
};
