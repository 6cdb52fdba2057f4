#include "platform/Dialog.h"
#include "platform/Resources.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const int IDC_BUTTON = 3;
const int IDC_OTHER = 4;

// A dialog whose handlers only write down how they were called.  It never
// gets a window: the routing is what is tested.
class RecordingDlg : public CDialog {
public:
    RecordingDlg() : CDialog(0) {}

    std::vector<std::string> calls;

protected:
    void OnOK() override { calls.push_back("OnOK"); }
    void OnCancel() override { calls.push_back("OnCancel"); }

    // SC_CLOSE asks for the default handling.
    void OnSysCommand(UINT nID, LPARAM lParam)
    {
        calls.push_back("OnSysCommand " + std::to_string(nID) + " " + std::to_string(lParam));
        if (nID == SC_CLOSE)
            Default();
    }
    // A timer tick is handled here, and routes a message inside whose
    // handler asks for the default: that request is the inner message's own.
    void OnTimer(UINT_PTR nIDEvent)
    {
        LRESULT lResult = 0;
        BOOL bInner = OnWndMsg(WM_SYSCOMMAND, SC_CLOSE, static_cast<LPARAM>(nIDEvent), &lResult);
        calls.push_back(bInner ? "inner handled" : "inner default");
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
    ON_WM_TIMER()
    ON_BN_CLICKED(IDC_BUTTON, OnButton)
    ON_WM_SIZE()
END_MESSAGE_MAP()

}  // namespace

TEST(MessageMapTest, EachMessageReachesItsHandlerUnlessItAsksForTheDefault)
{
    const std::string CLOSE = "OnSysCommand " + std::to_string(SC_CLOSE);
    const struct {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        BOOL bHandled;
        std::vector<std::string> calls;
    } cases[] = {
        {WM_SIZE, SIZE_RESTORED, MAKELPARAM(600, 149), TRUE, {"OnSize 0 600x149"}},
        {WM_SYSCOMMAND, 0x13, 0x00500040, TRUE, {"OnSysCommand 19 5242944"}},
        {WM_SYSCOMMAND, SC_CLOSE, 0, FALSE, {CLOSE + " 0"}},
        {WM_TIMER, 7, 0, TRUE, {CLOSE + " 7", "inner default"}},
        {WM_PAINT, 0, 0, FALSE, {}},
        {WM_COMMAND, MAKEWPARAM(IDC_BUTTON, BN_CLICKED), 0, TRUE, {"OnButton"}},
        {WM_COMMAND, MAKEWPARAM(IDC_OTHER, BN_CLICKED), 0, FALSE, {}},
        {WM_COMMAND, MAKEWPARAM(IDC_BUTTON, 5), 0, FALSE, {}},  // another notification of the same control
        {WM_COMMAND, MAKEWPARAM(IDOK, 0), 0, TRUE, {"OnOK"}},   // from CDialog's map, through the override
        {WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0, TRUE, {"OnCancel"}},
    };
    for (const auto& c : cases) {
        RecordingDlg dlg;
        LRESULT lResult = 0;
        EXPECT_EQ(c.bHandled, dlg.OnWndMsg(c.message, c.wParam, c.lParam, &lResult)) << c.message << " " << c.wParam;
        EXPECT_EQ(c.calls, dlg.calls) << c.message << " " << c.wParam;
    }
}

// At base units of 7 by 12 pixels, rounding halves away from zero.
TEST(DialogUnitsTest, ConvertAtBaseUnitsRoundingHalvesAway)
{
    for (const auto& c : {std::vector<int>{85, 149, 128}, std::vector<int>{99, 173, 149}, std::vector<int>{-3, -5, -5}}) {
        EXPECT_EQ(c[1], DialogUnitsToPixelsX(c[0])) << c[0];
        EXPECT_EQ(c[2], DialogUnitsToPixelsY(c[0])) << c[0];
    }
}
