// The Drawing page's reads: one extractor for the main loop, a worker thread
// with its own, and the reads put off to it. The main loop owns every job; the
// worker only reads the file into the job's record.
#include "DrawingPageReader.h"

#include <atomic>
#include <unordered_set>

#include "FieldLabels.h"
#include "extract/SvgExtractor.h"
#include "extract/SvgRecord.h"
#include "platform/Platform.h"

namespace files_page {

namespace {

struct TPageJob {
  std::string Path;
  GObject* Target;  // null once it is finalized (main loop only)
  TPageFill Fill;
  std::atomic<bool> Gone{false};  // the target is finalized: the worker need not read
  TVexmeta Record;
  bool Drawing = false;
};

struct TPageReads {
  TSvgExtractor AtOnce;  // reads on the main loop
  TSvgExtractor Worker;  // reads on the worker thread
  GThreadPool* Pool = nullptr;
  std::unordered_set<TPageJob*> Pending;  // on the main loop only
};

TPageReads* gReads = nullptr;

// The target's weak reference: it is being finalized.
void TargetGone(gpointer AData, GObject* /*AWasTarget*/) {
  auto* job = static_cast<TPageJob*>(AData);
  job->Target = nullptr;
  job->Gone.store(true);
}

void FreeJob(TPageJob* AJob) {
  if (AJob->Target != nullptr) g_object_weak_unref(AJob->Target, TargetGone, AJob);
  delete AJob;
}

gboolean DeliverJob(gpointer AData) {
  auto* job = static_cast<TPageJob*>(AData);
  if (gReads != nullptr) gReads->Pending.erase(job);
  try {
    if (job->Target != nullptr) {
      GObject* target = job->Target;
      g_object_weak_unref(target, TargetGone, job);
      job->Target = nullptr;
      if (job->Drawing) {
        const std::vector<TPageFact> facts = PageFacts(job->Record, files_labels::UserSection());
        job->Fill(target, &facts);
      } else {
        job->Fill(target, nullptr);
      }
      g_debug("%s: page filled later (%s)", job->Path.c_str(),
              job->Drawing ? "drawing" : "no drawing");
    } else {
      g_debug("%s: page closed before the read ended", job->Path.c_str());
    }
  } catch (...) {
    // Nothing may end the file manager: the page keeps its "Reading" line.
  }
  FreeJob(job);
  return G_SOURCE_REMOVE;
}

void RunJob(gpointer AData, gpointer /*AUserData*/) {
  auto* job = static_cast<TPageJob*>(AData);
  try {
    if (!job->Gone.load()) {
      const TExtractOptions options;  // the engine's own limits bound the read
      job->Drawing = gReads->Worker.ReadFile(platform::FileNameToUtf16(job->Path), options,
                                             job->Record) == TFileRead::frDrawing;
    }
  } catch (...) {
    job->Drawing = false;
  }
  // The job is the main loop's again from here on.
  g_idle_add_full(G_PRIORITY_DEFAULT, DeliverJob, job, nullptr);
}

TPageReads& Reads() {
  if (gReads == nullptr) {
    auto* reads = new TPageReads();
    // One worker: a dialog shows one file's page at a time.
    reads->Pool = g_thread_pool_new(RunJob, nullptr, 1, FALSE, nullptr);
    gReads = reads;
  }
  return *gReads;
}

}  // namespace

TPageStart ReadPageAtOnce(const std::string& APath, std::vector<TPageFact>& AFacts) {
  TVexmeta record;
  TExtractOptions options;
  options.TimeBudgetNs = cAnswerAtOnceNs;
  switch (Reads().AtOnce.ReadFile(platform::FileNameToUtf16(APath), options, record)) {
    case TFileRead::frDrawing:
      AFacts = PageFacts(record, files_labels::UserSection());
      g_debug("%s: page filled at once", APath.c_str());
      return TPageStart::psFacts;
    case TFileRead::frOverBudget:
      return TPageStart::psLater;
    case TFileRead::frNoDrawing:
    case TFileRead::frUnreadable:
      break;
  }
  return TPageStart::psNoPage;
}

void ReadPageLater(const std::string& APath, GObject* ATarget, TPageFill AFill) {
  TPageReads& reads = Reads();
  auto* job = new TPageJob{APath, ATarget, AFill, {}, {}};
  g_object_weak_ref(ATarget, TargetGone, job);
  reads.Pending.insert(job);
  g_debug("%s: page put off to the worker", APath.c_str());
  g_thread_pool_push(reads.Pool, job, nullptr);
}

void StopPageReads() {
  TPageReads* reads = gReads;
  if (reads == nullptr) return;
  g_thread_pool_free(reads->Pool, TRUE, TRUE);
  gReads = nullptr;
  for (TPageJob* job : reads->Pending) {
    g_idle_remove_by_data(job);
    FreeJob(job);
  }
  delete reads;
}

}  // namespace files_page
