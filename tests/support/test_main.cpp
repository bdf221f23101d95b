// Test runner shared by every test program.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#ifdef _WIN32
#include <windows.h>
#endif

namespace {
// gtest also sends each failure to OutputDebugString on Windows, which kills
// the process under Wine on qemu-user, so that only the first failure of a run
// would ever be seen. This printer reports failures itself and hands every
// other event to gtest's own printer.
class FailurePrinter : public testing::TestEventListener {
  public:
    explicit FailurePrinter(testing::TestEventListener *inner) : inner_(inner) {}
    void OnTestPartResult(const testing::TestPartResult &result) override
    {
        if (result.type() == testing::TestPartResult::kSuccess)
            return;
        const char *kind = result.type() == testing::TestPartResult::kSkip ? "Skipped" : "Failure";
        std::printf("%s:%d: %s\n%s\n", result.file_name() ? result.file_name() : "unknown",
                    result.line_number(), kind, result.message());
        std::fflush(stdout);
    }
    void OnTestProgramStart(const testing::UnitTest &u) override { inner_->OnTestProgramStart(u); }
    void OnTestIterationStart(const testing::UnitTest &u, int i) override
    {
        inner_->OnTestIterationStart(u, i);
    }
    void OnEnvironmentsSetUpStart(const testing::UnitTest &u) override
    {
        inner_->OnEnvironmentsSetUpStart(u);
    }
    void OnEnvironmentsSetUpEnd(const testing::UnitTest &u) override { inner_->OnEnvironmentsSetUpEnd(u); }
    void OnTestSuiteStart(const testing::TestSuite &s) override { inner_->OnTestSuiteStart(s); }
    void OnTestCaseStart(const testing::TestCase &s) override { inner_->OnTestCaseStart(s); }
    void OnTestStart(const testing::TestInfo &t) override { inner_->OnTestStart(t); }
    void OnTestDisabled(const testing::TestInfo &t) override { inner_->OnTestDisabled(t); }
    void OnTestEnd(const testing::TestInfo &t) override { inner_->OnTestEnd(t); }
    void OnTestSuiteEnd(const testing::TestSuite &s) override { inner_->OnTestSuiteEnd(s); }
    void OnTestCaseEnd(const testing::TestCase &s) override { inner_->OnTestCaseEnd(s); }
    void OnEnvironmentsTearDownStart(const testing::UnitTest &u) override
    {
        inner_->OnEnvironmentsTearDownStart(u);
    }
    void OnEnvironmentsTearDownEnd(const testing::UnitTest &u) override
    {
        inner_->OnEnvironmentsTearDownEnd(u);
    }
    void OnTestIterationEnd(const testing::UnitTest &u, int i) override { inner_->OnTestIterationEnd(u, i); }
    void OnTestProgramEnd(const testing::UnitTest &u) override { inner_->OnTestProgramEnd(u); }

  private:
    std::unique_ptr<testing::TestEventListener> inner_;
};
}  // namespace

int main(int argc, char **argv)
{
#ifdef _WIN32
    // A crash must fail the run, not open a box that waits for a person.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
#endif
    testing::InitGoogleTest(&argc, argv);
    testing::TestEventListeners &listeners = testing::UnitTest::GetInstance()->listeners();
    if (testing::TestEventListener *printer = listeners.Release(listeners.default_result_printer()))
        listeners.Append(new FailurePrinter(printer));
    return RUN_ALL_TESTS();
}
