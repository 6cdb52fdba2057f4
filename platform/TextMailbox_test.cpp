#include "platform/TextMailbox.h"

#include <gtest/gtest.h>

#include <string>

namespace {

void CountWake(void* pContext)
{
    ++*static_cast<int*>(pContext);
}

typedef std::vector<std::pair<int, std::string>> Texts;

}  // namespace

// Texts are refused while closed; once open, the first text wakes the
// taker, who gets the newest of each control that changed since.  Close
// tells whether a wake-up was still on its way.
TEST(TextMailboxTest, WakesOnceUntilTakenAndKeepsTheNewestPerControl)
{
    CTextMailbox mailbox;
    int nWakes = 0;
    EXPECT_FALSE(mailbox.Put(1001, "before"));
    mailbox.Open(&CountWake, &nWakes);
    EXPECT_TRUE(mailbox.Put(1004, "/src"));
    EXPECT_TRUE(mailbox.Put(1001, "/src/a"));
    EXPECT_TRUE(mailbox.Put(1001, "/src/b"));
    EXPECT_TRUE(mailbox.Put(1006, nullptr));
    EXPECT_EQ(nWakes, 1);
    EXPECT_EQ(mailbox.Take(), (Texts{{1004, "/src"}, {1001, "/src/b"}, {1006, ""}}));
    EXPECT_TRUE(mailbox.Take().empty());
    EXPECT_TRUE(mailbox.Put(1001, "/src/c"));
    EXPECT_EQ(nWakes, 2);
    EXPECT_TRUE(mailbox.Close());
    EXPECT_FALSE(mailbox.Put(1001, "after"));

    // Opening again starts empty, with room for a fixed number of controls.
    mailbox.Open(&CountWake, &nWakes);
    EXPECT_TRUE(mailbox.Take().empty());
    for (size_t i = 0; i < CTextMailbox::kMaxSlots; ++i)
        EXPECT_TRUE(mailbox.Put(static_cast<int>(2000 + i), "x"));
    EXPECT_FALSE(mailbox.Put(3000, "one too many"));
    EXPECT_TRUE(mailbox.Put(2000, "a known control still takes texts"));
    mailbox.Take();
    EXPECT_FALSE(mailbox.Close());
}
