#include "bmc/ordered_list.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

namespace {

// Stand-ins for the classes the FRU and SDR libraries keep in lists.
struct StandInFru {
    int id = 0;
};
struct StandInLocator {
    int id = 0;
};
struct StandInSdr {
    int id = 0;
};

template <typename T>
class OrderedListTest : public ::testing::Test {
  protected:
    using Item = T*;

    // Items owned by the test, so that a list that freed them would be
    // caught by ASan when the test reads them afterwards.
    std::array<T, 5> mStorage{};
    Item item(std::size_t i) { return &mStorage[i]; }

    std::vector<Item> Walk(const OrderedList<Item>& list) {
        std::vector<Item> items;
        for (Item at = list.First(); at != nullptr; at = list.Next(at)) items.push_back(at);
        return items;
    }

    std::vector<Item> Indexed(const OrderedList<Item>& list) {
        std::vector<Item> items;
        for (unsigned i = 0; i < list.Count(); ++i) items.push_back(list[i]);
        return items;
    }

    OrderedList<Item> mList;
};

using ItemTypes = ::testing::Types<StandInFru, StandInLocator, char, StandInSdr>;
TYPED_TEST_SUITE(OrderedListTest, ItemTypes);

TYPED_TEST(OrderedListTest, EmptyListHasNothing) {
    EXPECT_EQ(this->mList.Count(), 0u);
    EXPECT_EQ(this->mList.First(), nullptr);
    EXPECT_EQ(this->mList.Last(), nullptr);
    EXPECT_EQ(this->mList[0], nullptr);
    EXPECT_EQ(this->mList.RemoveLast(), nullptr);
    EXPECT_EQ(this->mList.Remove(this->item(0)), nullptr);
    EXPECT_EQ(this->mList.Next(this->item(0)), nullptr);
}

TYPED_TEST(OrderedListTest, KeepsTheOrderOfAdding) {
    for (const std::size_t i : {3, 0, 4, 1}) {
        EXPECT_EQ(this->mList.Add(this->item(i)), this->item(i));
    }
    const std::vector expected{this->item(3), this->item(0), this->item(4), this->item(1)};
    EXPECT_EQ(this->mList.Count(), 4u);
    EXPECT_EQ(this->mList.First(), this->item(3));
    EXPECT_EQ(this->mList.Last(), this->item(1));
    EXPECT_EQ(this->Walk(this->mList), expected);
    EXPECT_EQ(this->Indexed(this->mList), expected);
    EXPECT_EQ(this->mList[4], nullptr);
    EXPECT_EQ(this->mList.Next(this->item(1)), nullptr);
    EXPECT_EQ(this->mList.Next(this->item(2)), nullptr);  // not in the list
}

TYPED_TEST(OrderedListTest, NullIsNeverAdded) {
    this->mList.Add(this->item(0));
    EXPECT_EQ(this->mList.Add(nullptr), nullptr);
    EXPECT_EQ(this->mList.Count(), 1u);
    EXPECT_EQ(this->mList.Remove(nullptr), nullptr);
    EXPECT_EQ(this->mList.Count(), 1u);
}

struct RemoveCase {
    const char* name;
    std::size_t removed;  // position in the list 0, 1, 2, 3
    std::vector<std::size_t> left;
};

TYPED_TEST(OrderedListTest, RemoveUnlinksAnyPosition) {
    const RemoveCase cases[] = {
        {"head", 0, {1, 2, 3}},
        {"middle", 2, {0, 1, 3}},
        {"last", 3, {0, 1, 2}},
    };
    for (const RemoveCase& removal : cases) {
        SCOPED_TRACE(removal.name);
        OrderedList<typename TestFixture::Item> list;
        for (std::size_t i = 0; i < 4; ++i) list.Add(this->item(i));

        EXPECT_EQ(list.Remove(this->item(removal.removed)), this->item(removal.removed));
        std::vector<typename TestFixture::Item> expected;
        for (const std::size_t i : removal.left) expected.push_back(this->item(i));
        EXPECT_EQ(list.Count(), 3u);
        EXPECT_EQ(this->Walk(list), expected);
        EXPECT_EQ(this->Indexed(list), expected);
        EXPECT_EQ(list.First(), expected.front());
        EXPECT_EQ(list.Last(), expected.back());
        // Adding after a removal links behind the right node.
        list.Add(this->item(4));
        EXPECT_EQ(list.Last(), this->item(4));
        EXPECT_EQ(list.Next(expected.back()), this->item(4));
        EXPECT_EQ(list.Count(), 4u);
    }
}

TYPED_TEST(OrderedListTest, RemovingAnAbsentItemChangesNothing) {
    this->mList.Add(this->item(0));
    this->mList.Add(this->item(1));
    EXPECT_EQ(this->mList.Remove(this->item(2)), nullptr);
    EXPECT_EQ(this->mList.Count(), 2u);
    EXPECT_EQ(this->Walk(this->mList), (std::vector{this->item(0), this->item(1)}));
}

TYPED_TEST(OrderedListTest, RemoveLastEmptiesTheListFromTheBack) {
    for (std::size_t i = 0; i < 3; ++i) this->mList.Add(this->item(i));
    EXPECT_EQ(this->mList.RemoveLast(), this->item(2));
    EXPECT_EQ(this->mList.RemoveLast(), this->item(1));
    EXPECT_EQ(this->mList.RemoveLast(), this->item(0));
    EXPECT_EQ(this->mList.RemoveLast(), nullptr);
    EXPECT_EQ(this->mList.Count(), 0u);
}

TYPED_TEST(OrderedListTest, ListEmptiedByRemovalStartsAfresh) {
    this->mList.Add(this->item(0));
    EXPECT_EQ(this->mList.Remove(this->item(0)), this->item(0));
    EXPECT_EQ(this->mList.First(), nullptr);
    EXPECT_EQ(this->mList.Last(), nullptr);
    EXPECT_EQ(this->mList.Count(), 0u);

    this->mList.Add(this->item(3));
    this->mList.Add(this->item(0));
    EXPECT_EQ(this->Walk(this->mList), (std::vector{this->item(3), this->item(0)}));
    EXPECT_EQ(this->mList.Count(), 2u);
}

TYPED_TEST(OrderedListTest, DestroyingTheListLeavesTheItems) {
    auto owned = std::make_unique<TypeParam>();
    {
        OrderedList<TypeParam*> list;
        list.Add(owned.get());
        for (std::size_t i = 0; i < 5; ++i) list.Add(this->item(i));
    }
    // An item freed by the list would be freed a second time here (and the
    // ones in mStorage were never allocated): both abort the test.
    owned.reset();
}

// A node takes the chain after it along. Long chains (an SDR repository can
// hold thousands of records) must not cost one stack frame per node; any
// node left behind is reported by the leak checker of the ASan build.
TEST(OrderedListNodeChain, DeletingANodeDeletesTheChainAfterIt) {
    using Node = OrderedList<StandInSdr*>::OrderedListNode;
    Node* head = new Node;
    Node* last = head;
    for (int i = 0; i < 1000000; ++i) {
        Node* node = new Node;
        node->previous = last;
        last->next = node;
        last = node;
    }
    delete head;
}

}  // namespace
