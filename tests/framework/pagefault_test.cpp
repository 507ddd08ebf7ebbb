// Wine turns a page fault of the program into the exception Windows raises only when the signal
// it gets says "page fault". These are the faults that Wine and the program's own code rely on
// being told apart: a handled access violation (read or write), a guard page, a write watch.
// Under an emulator that does not say it (qemu-i386 for the emulated32 route) each of them would
// become an illegal instruction.
#include <gtest/gtest.h>

#include <windows.h>

namespace {

class Pages {
public:
    Pages(DWORD protect, DWORD extra = 0)
        : base_(static_cast<volatile char*>(VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT | extra, protect))) {}
    ~Pages() { if (base_) VirtualFree(const_cast<char*>(base_), 0, MEM_RELEASE); }
    Pages(const Pages&) = delete;
    Pages& operator=(const Pages&) = delete;
    volatile char* get() const { return base_; }

private:
    volatile char* base_;
};

// What the last fault raised. After an access violation the handler makes the page readable and
// writable, after a guard page violation the guard is already gone: the faulting instruction runs
// again and succeeds.
struct Fault {
    DWORD code = 0;
    ULONG_PTR kind = ~ULONG_PTR{0};
    ULONG_PTR address = 0;
};
Fault g_fault;

LONG CALLBACK recordAndOpen(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    g_fault.code = record->ExceptionCode;
    if (record->ExceptionCode == STATUS_GUARD_PAGE_VIOLATION) return EXCEPTION_CONTINUE_EXECUTION;
    if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION) return EXCEPTION_CONTINUE_SEARCH;
    g_fault.kind = record->ExceptionInformation[0];
    g_fault.address = record->ExceptionInformation[1];
    DWORD old = 0;
    VirtualProtect(reinterpret_cast<void*>(g_fault.address & ~ULONG_PTR{4095}), 4096, PAGE_READWRITE, &old);
    return EXCEPTION_CONTINUE_EXECUTION;
}

class PageFaultTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_fault = Fault{};
        handler_ = AddVectoredExceptionHandler(1, recordAndOpen);
        ASSERT_NE(handler_, nullptr);
    }
    void TearDown() override { RemoveVectoredExceptionHandler(handler_); }

private:
    void* handler_ = nullptr;
};

TEST_F(PageFaultTest, AccessViolationsSayReadOrWriteAndWhere)
{
    struct Case {
        const char* name;
        bool write;
        ULONG_PTR kind;
    };
    for (const Case& c : {Case{"read", false, 0}, Case{"write", true, 1}}) {
        SCOPED_TRACE(c.name);
        g_fault = Fault{};
        Pages pages(PAGE_NOACCESS);
        ASSERT_NE(pages.get(), nullptr);
        volatile char* target = pages.get() + 100;
        if (c.write) *target = 7;
        else (void)*target;
        EXPECT_EQ(g_fault.code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
        EXPECT_EQ(g_fault.kind, c.kind);
        EXPECT_EQ(g_fault.address, reinterpret_cast<ULONG_PTR>(target));
    }
}

TEST_F(PageFaultTest, GuardPageRaisesOnceThenAllowsAccess)
{
    Pages pages(PAGE_READWRITE | PAGE_GUARD);
    ASSERT_NE(pages.get(), nullptr);
    pages.get()[0] = 5;
    EXPECT_EQ(g_fault.code, static_cast<DWORD>(STATUS_GUARD_PAGE_VIOLATION));
    g_fault = Fault{};
    pages.get()[1] = 6;
    EXPECT_EQ(g_fault.code, 0u);
    EXPECT_EQ(pages.get()[0], 5);
}

TEST_F(PageFaultTest, WriteWatchSeesTheWrittenPage)
{
    Pages pages(PAGE_READWRITE, MEM_WRITE_WATCH);
    ASSERT_NE(pages.get(), nullptr);
    pages.get()[10] = 1;
    void* written[4] = {};
    ULONG_PTR count = 4;
    ULONG pageSize = 0;
    ASSERT_EQ(GetWriteWatch(0, const_cast<char*>(pages.get()), 4096, written, &count, &pageSize), 0u);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(written[0], const_cast<char*>(pages.get()));
    EXPECT_EQ(g_fault.code, 0u);
}

}  // namespace
