#include "foundation/Map.h"

#include "ContainerTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using CIdSet = CMap<int, bool, SValue, SValue, int>;
using CNode = CIdSet::CNode;
using COwningMap = CMap<int, CTracked*, SValue, SOwnedPtr, int>;

// The tree as text: key, B or R, then "(left,right)" unless both children are
// missing; a missing child is "-". Example: "2B(1B,4B(3R,5R))".
template <class TMap>
std::string Render(const TMap& map, const typename TMap::CNode* node)
{
    if (node == map.GetSentinel()) {
        return "-";
    }
    std::string text = std::to_string(node->key) + (node->colour == TMap::kRed ? "R" : "B");
    if (node->left != map.GetSentinel() || node->right != map.GetSentinel()) {
        text += "(" + Render(map, node->left) + "," + Render(map, node->right) + ")";
    }
    return text;
}

template <class TMap>
std::string Render(const TMap& map)
{
    return Render(map, map.GetRoot());
}

void Fill(CIdSet& map, const std::vector<int>& keys)
{
    for (int key : keys) {
        map.Set(key, false);
    }
}

std::vector<int> KeysForward(const CIdSet& map)
{
    std::vector<int> keys;
    for (const CNode* node = map.GetFirst(); node != nullptr; node = node->next) {
        keys.push_back(node->key);
    }
    return keys;
}

std::vector<int> KeysBackward(const CIdSet& map)
{
    std::vector<int> keys;
    for (const CNode* node = map.GetLast(); node != nullptr; node = node->previous) {
        keys.push_back(node->key);
    }
    return keys;
}

// ---- Invariant checker: the empty text when every rule holds, else the first violation.

struct CSubtreeCheck {
    const CIdSet& map;
    std::vector<const CNode*> inOrder;
    std::string error;

    // Black height of the subtree below node (sentinel: 0), or -1 after recording an error.
    int Walk(const CNode* node, const CNode* parent, std::int64_t low, std::int64_t high)
    {
        if (node == map.GetSentinel()) {
            return 0;
        }
        if (node == nullptr) {
            error = "null child link under " + std::to_string(parent->key);
            return -1;
        }
        if (node->parent != parent) {
            error = "wrong parent link at " + std::to_string(node->key);
            return -1;
        }
        if (node->key < low || node->key > high) {
            error = "key " + std::to_string(node->key) + " out of search order";
            return -1;
        }
        if (node->colour != CIdSet::kRed && node->colour != CIdSet::kBlack) {
            error = "bad colour at " + std::to_string(node->key);
            return -1;
        }
        if (node->colour == CIdSet::kRed &&
            (node->left->colour == CIdSet::kRed || node->right->colour == CIdSet::kRed)) {
            error = "red node " + std::to_string(node->key) + " has a red child";
            return -1;
        }
        const int leftHeight = Walk(node->left, node, low, std::int64_t{node->key} - 1);
        if (leftHeight < 0) {
            return -1;
        }
        inOrder.push_back(node);
        const int rightHeight = Walk(node->right, node, std::int64_t{node->key} + 1, high);
        if (rightHeight < 0) {
            return -1;
        }
        if (leftHeight != rightHeight) {
            error = "unequal black heights below " + std::to_string(node->key);
            return -1;
        }
        return leftHeight + (node->colour == CIdSet::kBlack ? 1 : 0);
    }
};

std::string CheckThread(const CIdSet& map, const std::vector<const CNode*>& inOrder)
{
    if (inOrder.empty()) {
        return map.GetFirst() == nullptr && map.GetLast() == nullptr ? "" : "first/last set on an empty map";
    }
    if (map.GetFirst() != inOrder.front() || map.GetLast() != inOrder.back()) {
        return "first/last are not the smallest/largest keys";
    }
    for (std::size_t i = 0; i < inOrder.size(); ++i) {
        const CNode* expectedPrevious = i == 0 ? nullptr : inOrder[i - 1];
        const CNode* expectedNext = i + 1 == inOrder.size() ? nullptr : inOrder[i + 1];
        if (inOrder[i]->previous != expectedPrevious || inOrder[i]->next != expectedNext) {
            return "thread broken at " + std::to_string(inOrder[i]->key);
        }
    }
    return "";
}

std::string CheckMap(const CIdSet& map, const std::map<int, bool>& reference)
{
    const CNode* sentinel = map.GetSentinel();
    if (sentinel->colour != CIdSet::kBlack || sentinel->left != sentinel || sentinel->right != sentinel ||
        sentinel->parent != nullptr) {
        return "sentinel changed";
    }
    if (map.GetRoot()->colour != CIdSet::kBlack) {
        return "red root";
    }
    CSubtreeCheck subtree{map, {}, {}};
    if (subtree.Walk(map.GetRoot(), nullptr, INT32_MIN, INT32_MAX) < 0) {
        return subtree.error;
    }
    const std::string threadError = CheckThread(map, subtree.inOrder);
    if (!threadError.empty()) {
        return threadError;
    }
    const auto size = static_cast<std::int32_t>(reference.size());
    if (map.GetCount() != size || map.GetPool().GetNodesInUse() != size ||
        map.GetPool().GetBlockCount() != (size + 3) / 4 || map.GetPool().GetNodesPerBlock() != 4) {
        return "counts disagree with " + std::to_string(size) + " keys";
    }
    std::size_t position = 0;
    for (const auto& [key, value] : reference) {
        const CNode* node = subtree.inOrder[position++];
        if (node->key != key || node->value != value) {
            return "entry " + std::to_string(key) + " disagrees with std::map";
        }
        if (map.Find(key) != node) {
            return "Find(" + std::to_string(key) + ") misses its node";
        }
        if (key != INT32_MAX && reference.count(key + 1) == 0 && map.Find(key + 1) != nullptr) {
            return "Find(" + std::to_string(key + 1) + ") finds an absent key";
        }
    }
    if (map.GetCursorIndex() == -1 ? map.GetCursorNode() != nullptr
                                   : subtree.inOrder.at(static_cast<std::size_t>(map.GetCursorIndex())) !=
                                         map.GetCursorNode()) {
        return "cursor node is not at the cursor index";
    }
    return "";
}

// ---- Construction and shapes

TEST(MapTest, StartsEmptyAndOwnsNoBlock)
{
    CEventLog events;
    {
        CRecordingHeap heap(events);
        CIdSet map;
        EXPECT_EQ(map.GetSentinel(), map.GetRoot());
        EXPECT_EQ(nullptr, map.GetFirst());
        EXPECT_EQ(nullptr, map.GetLast());
        EXPECT_EQ(0, map.GetCount());
        EXPECT_EQ(-1, map.GetCursorIndex());
        EXPECT_EQ(nullptr, map.GetCursorNode());
        EXPECT_EQ(0, map.GetPool().GetNodesInUse());
        EXPECT_EQ(4, map.GetPool().GetNodesPerBlock());
        EXPECT_EQ(nullptr, map.GetPool().GetBlockList());
        EXPECT_EQ(nullptr, map.GetPool().GetFreeList());
        EXPECT_EQ(nullptr, map.Find(0));
        EXPECT_EQ("", CheckMap(map, {}));
    }
    EXPECT_TRUE(events.empty()) << "a map that never received a key allocates and frees nothing";
}

TEST(MapTest, InsertionSequencesGiveRedBlackShapes)
{
    struct CCase {
        std::vector<int> keys;
        const char* tree;
        std::vector<int> inOrder;
    };
    const CCase cases[] = {
        {{1}, "1B", {1}},
        {{1, 2, 3, 4, 5}, "2B(1B,4B(3R,5R))", {1, 2, 3, 4, 5}},
        {{5, 4, 3, 2, 1}, "4B(2B(1R,3R),5B)", {1, 2, 3, 4, 5}},
        {{3, 1, 2}, "2B(1R,3R)", {1, 2, 3}},
        {{1, 3, 2}, "2B(1R,3R)", {1, 2, 3}},
        {{10, 5, 15, 1}, "10B(5B(1R,-),15B)", {1, 5, 10, 15}},
        {{INT32_MAX, INT32_MIN, 0}, "0B(-2147483648R,2147483647R)", {INT32_MIN, 0, INT32_MAX}},
    };
    for (const CCase& test : cases) {
        CIdSet map;
        std::map<int, bool> reference;
        for (int key : test.keys) {
            map.Set(key, false);
            reference[key] = false;
        }
        const std::string context = Render(map);
        EXPECT_EQ(test.tree, Render(map));
        EXPECT_EQ(test.inOrder, KeysForward(map)) << context;
        EXPECT_EQ(std::vector<int>(test.inOrder.rbegin(), test.inOrder.rend()), KeysBackward(map)) << context;
        EXPECT_EQ("", CheckMap(map, reference)) << context;
    }
}

TEST(MapTest, KeysOneToFiveMatchTheDocumentedTree)
{
    CIdSet map;
    Fill(map, {1, 2, 3, 4, 5});
    const CNode* root = map.GetRoot();
    ASSERT_EQ(2, root->key);
    EXPECT_EQ(nullptr, root->parent);
    EXPECT_EQ(1, root->left->key);
    EXPECT_EQ(4, root->right->key);
    EXPECT_EQ(3, root->right->left->key);
    EXPECT_EQ(5, root->right->right->key);
    EXPECT_EQ(5, map.GetCount());
    EXPECT_EQ(5, map.GetPool().GetNodesInUse());
    EXPECT_EQ(2, map.GetPool().GetBlockCount());
    EXPECT_EQ(1, map.GetFirst()->key);
    EXPECT_EQ(5, map.GetLast()->key);
    EXPECT_EQ(nullptr, map.GetFirst()->previous);
    EXPECT_EQ(nullptr, map.GetLast()->next);
}

TEST(MapTest, KeysCompareSigned)
{
    CIdSet map;
    Fill(map, {INT32_MAX, INT32_MIN, 0});
    EXPECT_EQ(0, map.GetRoot()->key);
    EXPECT_EQ(INT32_MIN, map.GetFirst()->key);
    EXPECT_EQ(INT32_MAX, map.GetLast()->key);
    ASSERT_NE(nullptr, map.Find(INT32_MIN));
    EXPECT_EQ(nullptr, map.Find(1));
    EXPECT_EQ(nullptr, map.Find(-1));
}

// ---- Overwriting

struct CNodeSnapshot {
    const CNode* address;
    int key;
    bool value;
    const CNode *parent, *left, *right, *previous, *next;
    unsigned char colour;
    bool operator==(const CNodeSnapshot& other) const
    {
        return address == other.address && key == other.key && value == other.value && parent == other.parent &&
               left == other.left && right == other.right && previous == other.previous && next == other.next &&
               colour == other.colour;
    }
};

std::vector<CNodeSnapshot> Snapshot(const CIdSet& map)
{
    std::vector<CNodeSnapshot> nodes;
    for (const CNode* node = map.GetFirst(); node != nullptr; node = node->next) {
        nodes.push_back({node, node->key, node->value, node->parent, node->left, node->right, node->previous,
                         node->next, node->colour});
    }
    return nodes;
}

TEST(MapTest, SettingAnExistingKeyChangesOnlyItsValue)
{
    CEventLog events;
    CRecordingHeap heap(events);
    CIdSet map;
    Fill(map, {1, 2, 3, 4, 5});
    map.GetAt(3);
    std::vector<CNodeSnapshot> expected = Snapshot(map);
    expected[2].value = true;
    const CEventLog eventsBefore = events;

    map.Set(3, true);

    EXPECT_EQ(expected, Snapshot(map));
    EXPECT_EQ(map.Find(2), map.GetRoot());
    EXPECT_EQ(5, map.GetCount());
    EXPECT_EQ(5, map.GetPool().GetNodesInUse());
    EXPECT_EQ(3, map.GetCursorIndex());
    EXPECT_EQ(4, map.GetCursorNode()->key);
    EXPECT_EQ(eventsBefore, events) << "no allocation for an overwrite";

    map.Set(3, false);
    EXPECT_FALSE(map.Find(3)->value);
}

TEST(MapTest, OwningMapDeletesAReplacedValueButNotARepeatedOne)
{
    CEventLog events;
    COwningMap map;
    CTracked* first = new CTracked(1, events);
    CTracked* second = new CTracked(2, events);
    map.Set(7, first);
    map.Set(7, first);
    EXPECT_TRUE(events.empty());
    map.Set(7, second);
    EXPECT_EQ(CEventLog{"delete 1"}, events);
    EXPECT_EQ(second, map.Find(7)->value);
}

// ---- Pool

TEST(MapTest, NodesComeFromBlocksOfFourInAddressOrder)
{
    struct CStep {
        int key;         // key set in this step (keys 1.. in order)
        int blocks;      // blocks allocated so far
        int freeSlots;   // slots left on the free list
    };
    const CStep steps[] = {{1, 1, 3}, {2, 1, 2}, {3, 1, 1}, {4, 1, 0}, {5, 2, 3}, {8, 2, 0}, {9, 3, 3}};
    CEventLog events;
    CRecordingHeap heap(events);
    CIdSet map;
    int next = 1;
    for (const CStep& step : steps) {
        for (; next <= step.key; ++next) {
            map.Set(next, true);
        }
        int freeSlots = 0;
        for (const void* slot = map.GetPool().GetFreeList(); slot != nullptr; slot = CIdSet::CPool::GetNextFree(slot)) {
            ++freeSlots;
        }
        EXPECT_EQ(step.blocks, map.GetPool().GetBlockCount()) << "after key " << step.key;
        EXPECT_EQ(step.key, map.GetPool().GetNodesInUse()) << "after key " << step.key;
        EXPECT_EQ(step.freeSlots, freeSlots) << "after key " << step.key;
    }
    const std::string blockBytes = std::to_string(sizeof(CIdSet::CPool::CBlock));
    EXPECT_EQ((CEventLog{"allocate #1 " + blockBytes, "allocate #2 " + blockBytes, "allocate #3 " + blockBytes}),
              events);
    for (int key = 1; key <= 9; ++key) {
        const CNode* node = map.Find(key);
        EXPECT_EQ((key + 3) / 4, heap.BlockContaining(node)) << "key " << key;
        if ((key - 1) % 4 != 0) {
            const auto* previous = reinterpret_cast<const unsigned char*>(map.Find(key - 1));
            EXPECT_EQ(previous + sizeof(CNode), reinterpret_cast<const unsigned char*>(node)) << "key " << key;
        }
    }
}

TEST(MapTest, PoolReusesReturnedNodesLastInFirstOutAndFreesBlocksWithTheLast)
{
    CEventLog events;
    CRecordingHeap heap(events);
    CNodePool<CNode> pool;
    void* a = pool.Take();
    void* b = pool.Take();
    void* c = pool.Take();
    pool.Return(b);
    pool.Return(c);
    EXPECT_EQ(1, pool.GetNodesInUse());
    EXPECT_EQ(c, pool.Take());
    EXPECT_EQ(b, pool.Take());
    EXPECT_EQ(3, pool.GetNodesInUse());
    pool.Return(b);
    pool.Return(c);
    events.clear();
    pool.Return(a);
    EXPECT_EQ(CEventLog{"free #1"}, events);
    EXPECT_EQ(0, pool.GetNodesInUse());
    EXPECT_EQ(nullptr, pool.GetBlockList());
    EXPECT_EQ(nullptr, pool.GetFreeList());
    pool.Take();
    EXPECT_EQ(1, pool.GetBlockCount()) << "an emptied pool allocates afresh";
}

// ---- Destruction

TEST(MapTest, DestructionReturnsNodesInPostOrderAndTheLastFreesEveryBlock)
{
    CEventLog events;
    {
        CRecordingHeap heap(events);
        COwningMap map;
        for (int key = 1; key <= 5; ++key) {
            map.Set(key, new CTracked(key, events));
        }
        events.clear();
    }
    const CEventLog expected = {"delete 1", "delete 3", "delete 5", "delete 4", "delete 2", "free #2", "free #1"};
    EXPECT_EQ(expected, events);
}

TEST(MapTest, DestroyingTheIdSetFreesExactlyItsBlocks)
{
    struct CCase {
        int keys;
        CEventLog frees;
    };
    const CCase cases[] = {{0, {}}, {1, {"free #1"}}, {4, {"free #1"}}, {5, {"free #2", "free #1"}},
                           {9, {"free #3", "free #2", "free #1"}}};
    for (const CCase& test : cases) {
        CEventLog events;
        {
            CRecordingHeap heap(events);
            CIdSet map;
            for (int key = 0; key < test.keys; ++key) {
                map.Set(key, true);
            }
            events.clear();
        }
        EXPECT_EQ(test.frees, events) << test.keys << " keys";
    }
}

// ---- Cursor

TEST(MapTest, CursorKeepsItsPositionWhenSmallerKeysArrive)
{
    CIdSet map;
    Fill(map, {10, 20, 30, 40});
    ASSERT_EQ(30, map.GetAt(2)->key);
    EXPECT_EQ(2, map.GetCursorIndex());

    struct CStep {
        int key;
        int cursorKey; // key at position 2 afterwards
    };
    const CStep steps[] = {{25, 25}, {50, 25}, {5, 20}, {20, 20}, {1, 10}};
    for (const CStep& step : steps) {
        map.Set(step.key, false);
        EXPECT_EQ(2, map.GetCursorIndex()) << "after " << step.key;
        EXPECT_EQ(step.cursorKey, map.GetCursorNode()->key) << "after " << step.key;
    }
    EXPECT_EQ(nullptr, map.GetAt(-1));
    EXPECT_EQ(nullptr, map.GetAt(map.GetCount()));
    EXPECT_EQ(2, map.GetCursorIndex()) << "an index out of range leaves the cursor";
    EXPECT_EQ(50, map.GetAt(map.GetCount() - 1)->key);
    EXPECT_EQ(1, map.GetAt(0)->key);
}

// ---- Randomised agreement with std::map

std::vector<int> RandomKeys(std::uint32_t seed)
{
    std::mt19937 random(seed);
    const int length = 1 + static_cast<int>(random() % 200);
    std::vector<int> keys;
    switch (seed % 4) {
    case 0: { // many repeats
        std::uniform_int_distribution<int> small(-20, 20);
        for (int i = 0; i < length; ++i) {
            keys.push_back(small(random));
        }
        break;
    }
    case 1: { // the whole signed range, extremes included
        std::uniform_int_distribution<int> any(INT32_MIN, INT32_MAX);
        for (int i = 0; i < length; ++i) {
            keys.push_back(i % 17 == 0 ? (i % 2 ? INT32_MIN : INT32_MAX) : any(random));
        }
        break;
    }
    case 2: // ascending with gaps
        for (int i = 0, key = -1000; i < length; ++i, key += 1 + static_cast<int>(random() % 3)) {
            keys.push_back(key);
        }
        break;
    default: // descending
        for (int i = 0; i < length; ++i) {
            keys.push_back(length - i);
        }
        break;
    }
    return keys;
}

TEST(MapTest, RandomInsertionsKeepEveryRuleAndAgreeWithStdMap)
{
    for (std::uint32_t seed = 1; seed <= 160; ++seed) {
        std::mt19937 random(seed * 7919u);
        CIdSet map;
        std::map<int, bool> reference;
        for (int key : RandomKeys(seed)) {
            const bool value = (random() & 1) != 0;
            map.Set(key, value);
            reference[key] = value;
            if (random() % 8 == 0) {
                const auto index = static_cast<std::int32_t>(random() % reference.size());
                const CNode* node = map.GetAt(index);
                ASSERT_EQ(std::next(reference.begin(), index)->first, node->key) << "seed " << seed;
            }
            const std::string error = CheckMap(map, reference);
            ASSERT_EQ("", error) << "seed " << seed << " after key " << key;
        }
    }
}

// ---- Running out of memory

TEST(MapDeathTest, FailedBlockAllocationAbortsWithMessage)
{
    EXPECT_DEATH(
        {
            CEventLog events;
            CRecordingHeap heap(events);
            CIdSet map;
            Fill(map, {1, 2, 3, 4});
            heap.FailAllocations();
            map.Set(5, true);
        },
        "out of memory: CMap node block");
}

} // namespace
