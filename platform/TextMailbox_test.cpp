#include "platform/TextMailbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>

namespace {

void CountWake(void* pContext)
{
    ++*static_cast<int*>(pContext);
}

typedef std::vector<std::pair<int, std::string>> Texts;

}  // namespace

TEST(TextMailboxTest, RefusesTextsWhileClosed)
{
    CTextMailbox mailbox;
    EXPECT_FALSE(mailbox.Put(1001, "before"));
    int nWakes = 0;
    mailbox.Open(&CountWake, &nWakes);
    mailbox.Close();
    EXPECT_FALSE(mailbox.Put(1001, "after"));
    EXPECT_EQ(nWakes, 0);
    EXPECT_TRUE(mailbox.Take().empty());
}

TEST(TextMailboxTest, WakesOnceUntilTheTextsAreTakenAndKeepsTheNewestPerControl)
{
    CTextMailbox mailbox;
    int nWakes = 0;
    mailbox.Open(&CountWake, &nWakes);

    EXPECT_TRUE(mailbox.Put(1004, "/src"));
    EXPECT_TRUE(mailbox.Put(1001, "/src/a"));
    EXPECT_TRUE(mailbox.Put(1001, "/src/b"));
    EXPECT_TRUE(mailbox.Put(1006, nullptr));
    EXPECT_EQ(nWakes, 1);
    EXPECT_EQ(mailbox.Take(), (Texts{{1004, "/src"}, {1001, "/src/b"}, {1006, ""}}));

    // Only what changed since is taken, and the next text wakes again.
    EXPECT_TRUE(mailbox.Take().empty());
    EXPECT_TRUE(mailbox.Put(1001, "/src/c"));
    EXPECT_EQ(nWakes, 2);
    EXPECT_EQ(mailbox.Take(), (Texts{{1001, "/src/c"}}));
}

TEST(TextMailboxTest, CloseTellsWhetherAWakeUpWasStillOnItsWay)
{
    CTextMailbox mailbox;
    int nWakes = 0;
    mailbox.Open(&CountWake, &nWakes);
    EXPECT_FALSE(mailbox.Close());

    mailbox.Open(&CountWake, &nWakes);
    mailbox.Put(1003, "2");
    EXPECT_TRUE(mailbox.Close());
    // Opening again starts empty.
    mailbox.Open(&CountWake, &nWakes);
    EXPECT_TRUE(mailbox.Take().empty());
}

TEST(TextMailboxTest, HasRoomForAFixedNumberOfControls)
{
    CTextMailbox mailbox;
    int nWakes = 0;
    mailbox.Open(&CountWake, &nWakes);
    for (size_t i = 0; i < CTextMailbox::kMaxSlots; ++i)
        EXPECT_TRUE(mailbox.Put(static_cast<int>(2000 + i), "x"));
    EXPECT_FALSE(mailbox.Put(3000, "one too many"));
    EXPECT_TRUE(mailbox.Put(2000, "a known control still takes texts"));
}

TEST(TextMailboxTest, TheTakerSeesEachControlsTextsInOrderAndEndsWithTheLast)
{
    // A worker writes while the window's thread takes.  Whatever the
    // interleaving, a control never goes back to an older text, and after
    // the last take each shows the last text written to it.
    CTextMailbox mailbox;
    std::atomic<int> nWakes{0};
    mailbox.Open([](void* p) { ++*static_cast<std::atomic<int>*>(p); }, &nWakes);

    const int nWrites = 20000;
    std::atomic<bool> bWriterDone{false};
    std::thread writer([&] {
        for (int i = 0; i < nWrites; ++i)
            mailbox.Put(1001 + i % 3, std::to_string(i).c_str());
        bWriterDone = true;
    });
    std::map<int, int> shown = {{1001, -1}, {1002, -1}, {1003, -1}};
    bool bInOrder = true;
    auto take = [&] {
        for (const std::pair<int, std::string>& text : mailbox.Take()) {
            int n = std::stoi(text.second);
            bInOrder = bInOrder && n > shown[text.first];
            shown[text.first] = n;
        }
    };
    while (!bWriterDone)
        take();
    writer.join();
    take();

    EXPECT_TRUE(bInOrder);
    EXPECT_EQ(shown[1001], nWrites - 2);   // 19998 is the last i with i % 3 == 0
    EXPECT_EQ(shown[1002], nWrites - 1);
    EXPECT_EQ(shown[1003], nWrites - 3);
    EXPECT_GE(nWakes.load(), 1);
}
