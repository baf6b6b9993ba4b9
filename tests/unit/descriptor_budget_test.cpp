// The budget of open files and folders: how the descriptors are shared, the
// tokens taken and given back, and the waits for one.
#include "engine/descriptor_budget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

namespace {

using namespace std::chrono_literals;

TEST(DescriptorBudgetTest, SplitsWhatMayBeOpenBetweenFoldersAndFiles) {
    const struct {
        unsigned available;
        unsigned folders;
        unsigned files;
    } cases[] = {
        {0, 3, 1}, {4, 3, 1}, {5, 3, 2}, {12, 3, 9}, {100, 25, 75}, {2000, 256, 1744}, {100000, 256, 4096},
    };
    for (const auto& c : cases) {
        const BudgetSplit split = SplitDescriptors(c.available);
        EXPECT_EQ(split.folders, c.folders) << c.available;
        EXPECT_EQ(split.files, c.files) << c.available;
    }
}

TEST(DescriptorBudgetTest, CountsTheTokensTakenAndGivenBack) {
    DescriptorBudget budget(3);
    EXPECT_EQ(budget.tokens(), 3u);
    EXPECT_TRUE(budget.TryTake());
    budget.Take();
    EXPECT_EQ(budget.outstanding(), 2u);
    {
        ASSERT_TRUE(budget.TryTake());
        DescriptorToken held(budget);  // gives the third back when it goes
        EXPECT_FALSE(budget.TryTake()) << "a fourth token was handed out";
        DescriptorToken moved(std::move(held));
        DescriptorToken assigned;
        assigned = std::move(moved);
        EXPECT_EQ(budget.outstanding(), 3u) << "a moved-from holder gave its token back";
    }
    EXPECT_EQ(budget.outstanding(), 2u) << "the token's holders gave back more or less than one";
    budget.Give();
    budget.Give();
    EXPECT_EQ(budget.outstanding(), 0u);
}

// The last token taken: Take waits for a Give, and WaitForGive says whether
// one came in time.
TEST(DescriptorBudgetTest, WaitsForATokenToComeBack) {
    DescriptorBudget budget(1);
    ASSERT_TRUE(budget.TryTake());
    EXPECT_FALSE(budget.TryTake());
    EXPECT_FALSE(budget.WaitForGive(10ms));

    std::atomic<bool> taken{false};
    std::thread taker([&] {
        budget.Take();
        taken = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(taken) << "Take did not wait";
    budget.Give();
    taker.join();
    EXPECT_TRUE(taken);
    EXPECT_EQ(budget.outstanding(), 1u);

    // A Give while another waits ends the wait early, with true.
    std::atomic<bool> waiting{true};
    bool given = false;
    std::thread waiter([&] {
        given = budget.WaitForGive(60s);
        waiting = false;
    });
    while (waiting) {
        budget.Give();  // given back and taken again: the count stays
        ASSERT_TRUE(budget.TryTake());
        std::this_thread::sleep_for(5ms);
    }
    waiter.join();
    EXPECT_TRUE(given);
    EXPECT_EQ(budget.outstanding(), 1u);
}

}  // namespace
