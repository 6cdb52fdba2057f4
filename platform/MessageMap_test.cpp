#include "platform/Dialog.h"
#include "platform/Resources.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const int IDC_BUTTON = 3;
const int IDC_OTHER = 4;
const UINT_PTR TIMER_NESTED = 7;

// A dialog whose handlers only write down how they were called.  It never
// gets a window: the routing is what is tested.
class RecordingDlg : public CDialog {
public:
    RecordingDlg() : CDialog(0) {}

    std::vector<std::string> calls;
    BOOL bAskDefault = FALSE;

protected:
    void OnOK() override { calls.push_back("OnOK"); }
    void OnCancel() override { calls.push_back("OnCancel"); }

    void OnSysCommand(UINT nID, LPARAM lParam)
    {
        calls.push_back("OnSysCommand " + std::to_string(nID) + " " + std::to_string(lParam));
        if (bAskDefault)
            Default();
    }
    HCURSOR OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(0x1234)); }
    void OnTimer(UINT_PTR nIDEvent)
    {
        calls.push_back("OnTimer " + std::to_string(nIDEvent));
        if (nIDEvent == TIMER_NESTED) {
            // A message handled inside another keeps its own default flag.
            LRESULT lResult = 0;
            BOOL bInner = OnWndMsg(WM_SYSCOMMAND, 16, 0, &lResult);
            calls.push_back(bInner ? "inner handled" : "inner default");
        } else {
            Default();
        }
    }
    void OnButton() { calls.push_back("OnButton"); }
    void OnSize(UINT nType, int cx, int cy)
    {
        calls.push_back("OnSize " + std::to_string(nType) + " " + std::to_string(cx) + "x" + std::to_string(cy));
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(RecordingDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_QUERYDRAGICON()
    ON_WM_TIMER()
    ON_BN_CLICKED(IDC_BUTTON, OnButton)
    ON_WM_SIZE()
END_MESSAGE_MAP()

struct Routed {
    BOOL bHandled;
    LRESULT lResult;
};

Routed Send(RecordingDlg& dlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    Routed routed = {FALSE, -1};
    routed.bHandled = dlg.OnWndMsg(message, wParam, lParam, &routed.lResult);
    return routed;
}

}  // namespace

TEST(MessageMapTest, HandlersGetTheMessagesArgumentsUnpacked)
{
    RecordingDlg dlg;
    EXPECT_TRUE(Send(dlg, WM_SIZE, SIZE_RESTORED, MAKELPARAM(600, 149)).bHandled);
    EXPECT_TRUE(Send(dlg, WM_SYSCOMMAND, 0x13, 0x00500040).bHandled);
    Routed drag = Send(dlg, WM_QUERYDRAGICON, 0, 0);
    EXPECT_TRUE(drag.bHandled);
    EXPECT_EQ(drag.lResult, 0x1234);
    EXPECT_EQ(dlg.calls, (std::vector<std::string>{"OnSize 0 600x149", "OnSysCommand 19 5242944"}));
}

TEST(MessageMapTest, CommandsGoByNotificationAndControl)
{
    struct Case {
        WPARAM wParam;
        BOOL bHandled;
        const char* pszCall;   // null: nothing called
    };
    const Case cases[] = {
        {MAKEWPARAM(IDC_BUTTON, BN_CLICKED), TRUE, "OnButton"},
        {MAKEWPARAM(IDC_OTHER, BN_CLICKED), FALSE, nullptr},
        {MAKEWPARAM(IDC_BUTTON, 5), FALSE, nullptr},      // another notification of the same control
        {MAKEWPARAM(IDOK, 0), TRUE, "OnOK"},              // from CDialog's map, through the override
        {MAKEWPARAM(IDCANCEL, 0), TRUE, "OnCancel"},
    };
    for (const Case& c : cases) {
        RecordingDlg dlg;
        EXPECT_EQ(Send(dlg, WM_COMMAND, c.wParam, 0).bHandled, c.bHandled) << c.wParam;
        EXPECT_EQ(dlg.calls, c.pszCall != nullptr ? std::vector<std::string>{c.pszCall} : std::vector<std::string>())
            << c.wParam;
    }
}

TEST(MessageMapTest, MessagesWithoutAnEntryAndHandlersThatAskForTheDefaultAreNotHandled)
{
    RecordingDlg dlg;
    EXPECT_FALSE(Send(dlg, WM_PAINT, 0, 0).bHandled);
    EXPECT_FALSE(Send(dlg, WM_TIMER, 1, 0).bHandled);
    dlg.bAskDefault = TRUE;
    EXPECT_FALSE(Send(dlg, WM_SYSCOMMAND, SC_CLOSE, 0).bHandled);
    EXPECT_EQ(dlg.calls, (std::vector<std::string>{"OnTimer 1", "OnSysCommand 61536 0"}));
}

TEST(MessageMapTest, ANestedMessageDoesNotTakeTheOuterOnesDefaultRequest)
{
    RecordingDlg dlg;
    dlg.bAskDefault = TRUE;
    // The timer handler handles its tick itself but routes a system command
    // inside, whose handler asks for the default: only the inner one is
    // passed on.
    EXPECT_TRUE(Send(dlg, WM_TIMER, TIMER_NESTED, 0).bHandled);
    EXPECT_EQ(dlg.calls, (std::vector<std::string>{"OnTimer 7", "OnSysCommand 16 0", "inner default"}));
}

TEST(DialogUnitsTest, ConvertAtBaseUnitsOfSevenByTwelveRoundingHalvesAway)
{
    struct Case {
        int nUnits;
        int nPixelsX;
        int nPixelsY;
    };
    const Case cases[] = {
        {0, 0, 0},     {262, 459, 393},  {99, 173, 149},  {85, 149, 128}, {66, 116, 99},
        {205, 359, 308}, {78, 137, 117}, {11, 19, 17},    {50, 88, 75},   {-3, -5, -5},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DialogUnitsToPixelsX(c.nUnits), c.nPixelsX) << c.nUnits;
        EXPECT_EQ(DialogUnitsToPixelsY(c.nUnits), c.nPixelsY) << c.nUnits;
    }
}
