// Message boxes and the folder picker. A helper thread plays the user: it finds the box that
// this thread shows, reads it and presses a button. Without a display (Wine with no X
// server) no window can exist; then only what happens without one is checked.

#include "LxVclUtils.h"
#include "ServicesTestSupport.h"

#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace {

bool CanCreateWindows() {
    const HWND Probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                       nullptr, nullptr);
    if (!Probe) return false;
    DestroyWindow(Probe);
    return true;
}

WideString WindowText(HWND Window) {
    wchar_t Buffer[512] = {};
    GetWindowTextW(Window, Buffer, 512);
    return reinterpret_cast<char16_t*>(Buffer);
}

BOOL CALLBACK KeepVisibleDialog(HWND Window, LPARAM Data) {
    wchar_t Class[16] = {};
    GetClassNameW(Window, Class, 16);
    if (!IsWindowVisible(Window) || wcscmp(Class, L"#32770") != 0) return TRUE;
    *reinterpret_cast<HWND*>(Data) = Window;
    return FALSE;
}

HWND VisibleDialogOf(DWORD ThreadId) {
    HWND Found = nullptr;
    EnumThreadWindows(ThreadId, KeepVisibleDialog, reinterpret_cast<LPARAM>(&Found));
    return Found;
}

// Acts on the first visible dialog box of the calling thread, from a thread of its own;
// does nothing when no window can be shown.
class TUser {
public:
    TUser(bool Windows, std::function<void(HWND)> Act) {
        if (!Windows) return;
        FThread = std::thread([this, Act, Owner = GetCurrentThreadId()] {
            for (int I = 0; I < 100; ++I) {
                Sleep(100);
                if (const HWND Box = VisibleDialogOf(Owner)) {
                    Sleep(300); // lets the dialog finish its own start-up
                    Act(Box);
                    FActed = true;
                    return;
                }
            }
        });
    }
    ~TUser() {
        if (FThread.joinable()) FThread.join();
    }
    bool Acted() const { return FActed; }

private:
    std::atomic<bool> FActed{false};
    std::thread FThread;
};

void Press(HWND Box, int Id) {
    PostMessageW(Box, WM_COMMAND, Id, 0);
}

struct TBoxContents {
    WideString Caption;
    std::vector<WideString> Texts;
    std::vector<int> Buttons;
    HICON Icon = nullptr;
};

TBoxContents Contents(HWND Box) {
    TBoxContents Result;
    Result.Caption = WindowText(Box);
    for (HWND Child = GetWindow(Box, GW_CHILD); Child; Child = GetWindow(Child, GW_HWNDNEXT)) {
        wchar_t Class[16] = {};
        GetClassNameW(Child, Class, 16);
        if (!IsWindowVisible(Child)) continue;
        if (_wcsicmp(Class, L"Button") == 0) Result.Buttons.push_back(GetDlgCtrlID(Child));
        if (_wcsicmp(Class, L"Static") != 0) continue;
        if ((GetWindowLongW(Child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            Result.Icon = reinterpret_cast<HICON>(SendMessageW(Child, STM_GETICON, 0, 0));
        else
            Result.Texts.push_back(WindowText(Child));
    }
    return Result;
}

int Calls[2];

} // namespace

// These tests stand in for the window toolkit, counting the modal states it would be told of.
void TLxModalHooks::ModalStarted() {
    ++Calls[0];
}
void TLxModalHooks::ModalFinished() {
    ++Calls[1];
}

namespace {

class DialogTests : public testing::Test {
protected:
    void SetUp() override {
        OleInitialize(nullptr);
        Calls[0] = Calls[1] = 0;
        FWindows = CanCreateWindows();
    }
    void TearDown() override { OleUninitialize(); }
    bool FWindows = false;
};

} // namespace

TEST_F(DialogTests, InfoBoxShowsOneOkButtonAndTheInformationIcon) {
    // The test command runs every Windows test on a virtual display.
    ASSERT_TRUE(FWindows) << "no display: message boxes cannot be shown";
    TBoxContents Info, Question;
    {
        TUser User(FWindows, [&](HWND Box) {
            Info = Contents(Box);
            Press(Box, IDOK);
        });
        EXPECT_EQ(TLxWinfn::InfoBox(nullptr, u"Text of the box", u"Caption of the box"), IDOK);
    }
    EXPECT_EQ(Info.Caption, u"Caption of the box");
    EXPECT_EQ(Info.Texts, std::vector<WideString>{u"Text of the box"});
    EXPECT_EQ(Info.Buttons, std::vector<int>{IDOK});
    EXPECT_EQ(Info.Icon, LoadIconW(nullptr, MAKEINTRESOURCEW(32516))); // IDI_INFORMATION

    {
        TUser User(FWindows, [&](HWND Box) {
            Question = Contents(Box);
            Press(Box, IDCANCEL);
        });
        EXPECT_EQ(TLxWinfn::MessageBox(nullptr, u"Go on?", MB_OKCANCEL, u"Question"), IDCANCEL);
    }
    EXPECT_EQ(Question.Caption, u"Question");
    EXPECT_EQ(Question.Buttons.size(), 2u);
    EXPECT_EQ(Question.Icon, nullptr);
}

TEST_F(DialogTests, AFolderThatDoesNotExistIsDropped) {
    const TTempFolder Folder;
    TLxPathDialog Dialog;
    Dialog.Path = Folder / u"missing";
    Dialog.Caption = u"Choose";
    {
        TUser User(FWindows, [](HWND Box) { Press(Box, IDCANCEL); });
        EXPECT_FALSE(Dialog.Execute(nullptr));
        EXPECT_EQ(User.Acted(), FWindows);
    }
    EXPECT_EQ(Dialog.Path, u"");
    EXPECT_EQ(Calls[0], 1);
    EXPECT_EQ(Calls[1], 1);

    // Cancelled (or not shown at all): the folder stays as it was.
    WideString Chosen = Folder.Path();
    {
        TUser User(FWindows, [](HWND Box) { Press(Box, IDCANCEL); });
        EXPECT_FALSE(TLxVclfn::SelectFolder(nullptr, u"Choose", Chosen));
    }
    EXPECT_EQ(Chosen, Folder.Path());
    EXPECT_EQ(Calls[0], 2);
    EXPECT_EQ(Calls[1], 2);
}

TEST_F(DialogTests, TheInitialFolderIsPreselected) {
    ASSERT_TRUE(FWindows) << "no display: the folder browser cannot be shown";
    const TTempFolder Folder;
    const WideString Inner = Folder / u"Inner folder";
    ASSERT_TRUE(CreateDirectoryW(W(Inner), nullptr));
    WideString Chosen = Inner;
    {
        TUser User(FWindows, [](HWND Box) { Press(Box, IDOK); });
        ASSERT_TRUE(TLxVclfn::SelectFolder(nullptr, u"Choose", Chosen));
    }
    EXPECT_TRUE(SameText(Chosen, Inner + u"\\")) << WideToUtf8(Chosen);
}
