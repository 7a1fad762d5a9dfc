// Windows side (tests): worker threads and background jobs, on real system threads.
#include "SynchedThreads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

namespace {

// A job that notes where it ran and ends with a result, or with an error when asked to.
class NotingJob : public T_UniqueBackgroundObject {
public:
    enum class Ending { Normally, WithException, WithStdException, WithAnything };
    explicit NotingJob(Ending ending = Ending::Normally, int32_t result = 42)
        : FEnding(ending), FResult(result) {}

    void run(void* Data) override {
        RanOnThread = GetCurrentThreadId();
        SawMarker = BackgroundJobRunning();
        GotData = Data;
        theResult = FResult;
        switch (FEnding) {
        case Ending::Normally:
            return;
        case Ending::WithException:
            throw Exception(L"job failed");
        case Ending::WithStdException:
            throw std::runtime_error("job failed");
        case Ending::WithAnything:
            throw 17;
        }
    }

    DWORD RanOnThread = 0;
    bool SawMarker = false;
    void* GotData = reinterpret_cast<void*>(1);

private:
    Ending FEnding;
    int32_t FResult;
};

TEST(BackgroundJob, RunsOnAnotherThreadAndReturnsItsResult) {
    NotingJob job;
    EXPECT_EQ(job.RunInBackground(), 42);
    EXPECT_NE(job.RanOnThread, 0u);
    EXPECT_NE(job.RanOnThread, GetCurrentThreadId());
    EXPECT_TRUE(job.SawMarker) << "the marker is set while the job runs";
    EXPECT_EQ(job.GotData, nullptr);
    EXPECT_FALSE(BackgroundJobRunning());
}

// Jobs that end at once race their thread's end against the wait: each must still return, and
// the marker be cleared, every time.
TEST(BackgroundJob, JobsThatEndAtOnceOneAfterAnother) {
    for (int i = 0; i < 200; ++i) {
        NotingJob job(NotingJob::Ending::Normally, i);
        ASSERT_EQ(job.RunInBackground(), i);
        ASSERT_FALSE(BackgroundJobRunning());
    }
}

class BackgroundJobError : public testing::TestWithParam<NotingJob::Ending> {};

TEST_P(BackgroundJobError, EndsOnlyTheWorkerThread) {
    NotingJob failing(GetParam(), 7);
    EXPECT_EQ(failing.RunInBackground(), 7);
    EXPECT_FALSE(BackgroundJobRunning());
    NotingJob next;
    EXPECT_EQ(next.RunInBackground(), 42) << "the next job is accepted";
}

INSTANTIATE_TEST_SUITE_P(Kinds, BackgroundJobError,
                         testing::Values(NotingJob::Ending::WithException,
                                         NotingJob::Ending::WithStdException,
                                         NotingJob::Ending::WithAnything),
                         [](const auto& info) {
                             switch (info.param) {
                             case NotingJob::Ending::WithException:
                                 return "Exception";
                             case NotingJob::Ending::WithStdException:
                                 return "StdException";
                             default:
                                 return "AnythingElse";
                             }
                         });

TEST(SimpleThread, RunsTheActionWithItsDataAndFreesItself) {
    UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<void*> seen{nullptr};
    int data = 0;
    TSimpleThread::CreateSimple(
        false,
        [&](void* Data) {
            seen = Data;
            SetEvent(done.get());
        },
        &data);
    ASSERT_EQ(WaitForSingleObject(done.get(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(seen.load(), &data);
}

TEST(SimpleThread, SuspendedThreadWaitsForResume) {
    UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    TSimpleThread* thread = TSimpleThread::CreateSimple(
        true, [&](void*) { SetEvent(done.get()); }, nullptr);
    EXPECT_EQ(WaitForSingleObject(done.get(), 300), static_cast<DWORD>(WAIT_TIMEOUT));
    thread->Resume();
    EXPECT_EQ(WaitForSingleObject(done.get(), 10000), WAIT_OBJECT_0);
}

} // namespace
