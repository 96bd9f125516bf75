// CMap<int, bool, SValue, SValue, int> under arbitrary Set and GetAt sequences,
// checked against std::map after every step (every 16th step once the map is
// large): Find for present and absent keys, the red-black rules, parent and
// child links, the sentinel, the key-order list with first and last, the
// cursor, the entry count and the node pool (nodes in use, one block per four
// nodes). Destruction must give back every block: a counting container heap
// sees each allocation freed.

#include "common/FuzzCheck.h"

#include "foundation/ContainerHeap.h"
#include "foundation/Map.h"
#include "foundation/Policies.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <map>
#include <set>

namespace {

using CIdSet = CMap<int, bool, SValue, SValue, int>;
using CNode = CIdSet::CNode;

/// malloc, realloc and free, keeping the set of live blocks.
class CCountingHeap : public IContainerHeap {
public:
    void* Allocate(std::size_t bytes) override { return Track(nullptr, std::malloc(bytes)); }
    void* Reallocate(void* block, std::size_t bytes) override { return Track(block, std::realloc(block, bytes)); }
    void Free(void* block) override
    {
        FUZZ_CHECK(m_live.erase(block) == 1);
        std::free(block);
    }
    std::size_t GetLive() const { return m_live.size(); }

private:
    void* Track(void* old, void* block)
    {
        if (block != nullptr) {
            m_live.erase(old);
            m_live.insert(block);
        }
        return block;
    }
    std::set<void*> m_live;
};

/// Checks the subtree under node: links, order within (low, high), colours;
/// returns its black height (the sentinel counts 1) and adds its size to count.
int CheckSubtree(const CIdSet& map, const CNode* node, const CNode* parent, const std::int64_t low,
                 const std::int64_t high, std::size_t& count)
{
    const CNode* sentinel = map.GetSentinel();
    if (node == sentinel) {
        return 1;
    }
    FUZZ_CHECK(node != nullptr);
    FUZZ_CHECK(node->parent == parent);
    FUZZ_CHECK(node->key > low && node->key < high);
    FUZZ_CHECK(node->colour == CIdSet::kRed || node->colour == CIdSet::kBlack);
    if (node->colour == CIdSet::kRed) {
        FUZZ_CHECK_MSG(node->left->colour == CIdSet::kBlack && node->right->colour == CIdSet::kBlack,
                       "red node " + std::to_string(node->key) + " has a red child");
    }
    ++count;
    const int left = CheckSubtree(map, node->left, node, low, node->key, count);
    const int right = CheckSubtree(map, node->right, node, node->key, high, count);
    FUZZ_CHECK_MSG(left == right, "black heights differ under " + std::to_string(node->key));
    return left + (node->colour == CIdSet::kBlack ? 1 : 0);
}

void CheckMap(const CIdSet& map, const std::map<int, bool>& model)
{
    const CNode* sentinel = map.GetSentinel();
    FUZZ_CHECK(sentinel->colour == CIdSet::kBlack);
    FUZZ_CHECK(sentinel->left == sentinel && sentinel->right == sentinel && sentinel->parent == nullptr);
    FUZZ_CHECK(map.GetCount() == static_cast<std::int32_t>(model.size()));
    FUZZ_CHECK(map.GetPool().GetNodesInUse() == map.GetCount());
    FUZZ_CHECK(map.GetPool().GetNodesPerBlock() == 4);
    FUZZ_CHECK(map.GetPool().GetBlockCount() == (map.GetCount() + 3) / 4);

    if (model.empty()) {
        FUZZ_CHECK(map.GetRoot() == sentinel);
        FUZZ_CHECK(map.GetFirst() == nullptr && map.GetLast() == nullptr);
    } else {
        FUZZ_CHECK(map.GetRoot()->colour == CIdSet::kBlack);
        std::size_t count = 0;
        CheckSubtree(map, map.GetRoot(), nullptr, INT64_MIN, INT64_MAX, count);
        FUZZ_CHECK(count == model.size());
    }

    // The key-order list, both ways.
    const CNode* node = map.GetFirst();
    const CNode* previous = nullptr;
    for (const auto& entry : model) {
        FUZZ_CHECK(node != nullptr && node != sentinel);
        FUZZ_CHECK_MSG(node->key == entry.first, "list holds " + std::to_string(node->key) + ", expected " +
                                                     std::to_string(entry.first));
        FUZZ_CHECK(node->value == entry.second);
        FUZZ_CHECK(node->previous == previous);
        FUZZ_CHECK(map.Find(entry.first) == node);
        previous = node;
        node = node->next;
    }
    FUZZ_CHECK(node == nullptr);
    FUZZ_CHECK(map.GetLast() == previous);

    // The cursor names the node at its position, or is unplaced.
    const CNode* cursor = map.GetCursorNode();
    if (cursor == nullptr) {
        FUZZ_CHECK(map.GetCursorIndex() == -1);
    } else {
        const std::int32_t index = map.GetCursorIndex();
        FUZZ_CHECK(index >= 0 && index < map.GetCount());
        FUZZ_CHECK_MSG(cursor->key == std::next(model.begin(), index)->first,
                       "cursor at " + std::to_string(index) + " holds " + std::to_string(cursor->key));
    }
}

/// Keys from a narrow range (so that they repeat), near the signed extremes, or anywhere.
int ConsumeKey(FuzzedDataProvider& data)
{
    switch (data.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: return data.ConsumeIntegralInRange<int>(-8, 40);
    case 1: return INT32_MIN + data.ConsumeIntegralInRange<int>(0, 3);
    case 2: return INT32_MAX - data.ConsumeIntegralInRange<int>(0, 3);
    default: return data.ConsumeIntegral<int>();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    CCountingHeap heap;
    SetContainerHeap(&heap);
    {
        CIdSet map;
        std::map<int, bool> model;
        for (int step = 0; provider.remaining_bytes() > 0; ++step) {
            if (provider.ConsumeIntegralInRange<int>(0, 5) == 0) {
                const std::int32_t index = provider.ConsumeIntegralInRange<std::int32_t>(-1, map.GetCount());
                const CNode* node = map.GetAt(index);
                if (index < 0 || index >= map.GetCount()) {
                    FUZZ_CHECK(node == nullptr);
                } else {
                    FUZZ_CHECK(node != nullptr && node->key == std::next(model.begin(), index)->first);
                }
            } else {
                const int key = ConsumeKey(provider);
                const bool value = provider.ConsumeBool();
                const bool absent = model.find(key) == model.end();
                FUZZ_CHECK((map.Find(key) == nullptr) == absent);
                map.Set(key, value);
                model[key] = value;
            }
            if (model.size() < 64 || step % 16 == 0) {
                CheckMap(map, model);
            }
        }
        CheckMap(map, model);
        FUZZ_CHECK(heap.GetLive() == static_cast<std::size_t>(map.GetPool().GetBlockCount()));
    }
    FUZZ_CHECK_MSG(heap.GetLive() == 0, std::to_string(heap.GetLive()) + " blocks left after destruction");
    SetContainerHeap(nullptr);
    return 0;
}
