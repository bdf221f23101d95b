// Test runner shared by every test program.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#ifdef _WIN32
#include <windows.h>
#endif

// Stands in for gtest's printer, which also copies each failure to
// OutputDebugString: under Wine on qemu-user that ends the process, so a run
// would only ever show its first failure. (gtest holds its lock while it
// reports a result, so the test's name is kept rather than asked for.)
struct Printer : testing::EmptyTestEventListener {
    std::string test;
    void OnTestStart(const testing::TestInfo &info) override
    {
        test = std::string(info.test_suite_name()) + "." + info.name();
        std::printf("[ RUN      ] %s\n", test.c_str());
    }
    void OnTestPartResult(const testing::TestPartResult &result) override
    {
        if (result.failed())
            std::printf("[  FAILED  ] %s at %s:%d\n%s\n", test.c_str(),
                        result.file_name() ? result.file_name() : "?", result.line_number(),
                        result.message());
    }
};

int main(int argc, char **argv)
{
#ifdef _WIN32
    // A crash must fail the run, not open a box that waits for a person.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
#endif
    std::setvbuf(stdout, nullptr, _IONBF, 0);  // what a crash cuts short was printed already
    testing::InitGoogleTest(&argc, argv);
    testing::TestEventListeners &listeners = testing::UnitTest::GetInstance()->listeners();
    delete listeners.Release(listeners.default_result_printer());
    listeners.Append(new Printer);
    return RUN_ALL_TESTS();
}
