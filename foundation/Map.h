#pragma once
/// CMap<K, V, KP, VP, A>: an ordered map stored as a red-black tree whose nodes are
/// also threaded into a doubly linked list in key order.
///
/// K is the key type (ordered by operator<), V the value type, KP and VP their
/// policies (SValue or SOwnedPtr), A the argument type, always K and otherwise unused.
///
/// Invariants:
///   - red-black: the root is black; a red node has black children; every path from
///     a node down to the sentinel passes the same number of black nodes;
///   - the sentinel stands for every missing child: black, left and right pointing to
///     itself, parent null; the root is the sentinel exactly while the map is empty;
///   - following next from first visits every node in ascending key order and ends at
///     last; previous runs the other way; first and last are null while empty;
///   - keys are unique; the entry count equals the pool's nodes in use (no key is
///     ever removed);
///   - the cursor is (-1, null) or (i, the node at position i in key order).
/// Nodes come from a CNodePool of four-node blocks. Destruction releases the nodes in
/// post-order (left subtree, right subtree, node), which frees every block when the
/// last one is returned.

#include "foundation/NodePool.h"
#include "foundation/Policies.h"

#include <cstdint>
#include <new>
#include <type_traits>

template <class K, class V, class KP, class VP, class A>
class CMap {
    static_assert(std::is_same<K, A>::value, "the argument type is the key type");

public:
    static constexpr unsigned char kBlack = 0;
    static constexpr unsigned char kRed = 1;

    /// One entry; read-only outside the map.
    struct CNode {
        K key;
        V value;
        CNode* parent;       ///< null for the root
        CNode* left;         ///< the sentinel when absent
        CNode* right;        ///< the sentinel when absent
        CNode* previous;     ///< next smaller key, null for the first
        CNode* next;         ///< next larger key, null for the last
        unsigned char colour; ///< kRed or kBlack
    };

    using CPool = CNodePool<CNode>;

    /// An empty map: empty pool, root = sentinel, cursor (-1, null), entry count 0.
    CMap()
        : m_root(&m_sentinel),
          m_sentinel{K(), V(), nullptr, &m_sentinel, &m_sentinel, nullptr, nullptr, kBlack}
    {
    }
    CMap(const CMap&) = delete;
    CMap& operator=(const CMap&) = delete;

    /// Releases every key and value under KP and VP and returns every node to the
    /// pool in post-order, then frees any block that is left.
    virtual ~CMap()
    {
        ReleaseSubtree(m_root);
        m_pool.FreeAll();
    }

    /// The node holding key, or null.
    const CNode* Find(const K& key) const
    {
        const CNode* node = m_root;
        while (node != &m_sentinel) {
            if (node->key < key) {
                node = node->right;
            } else if (key < node->key) {
                node = node->left;
            } else {
                return node;
            }
        }
        return nullptr;
    }

    /// Inserts key with value, or only overwrites the value (under VP) when the key is
    /// present. Aborts when a new node block cannot be allocated.
    void Set(const K& key, const V& value)
    {
        CNode* parent = nullptr;
        CNode* node = m_root;
        while (node != &m_sentinel) {
            parent = node;
            if (node->key < key) {
                node = node->right;
            } else if (key < node->key) {
                node = node->left;
            } else {
                VP::Assign(node->value, value);
                KP::Assign(node->key, key);
                return;
            }
        }
        node = new (m_pool.Take())
            CNode{key, value, parent, &m_sentinel, &m_sentinel, nullptr, nullptr, kRed};
        Thread(node);
        if (m_cursorNode != nullptr && key < m_cursorNode->key) {
            m_cursorNode = m_cursorNode->previous;
        }
        Rebalance(node);
        m_count += 1;
    }

    /// The node at position index in key order (0-based), or null when out of range.
    /// Walks from the nearest of first, last and the cursor, and leaves the cursor there.
    const CNode* GetAt(std::int32_t index)
    {
        if (index < 0 || index >= m_count) {
            return nullptr;
        }
        CNode* node = m_first;
        std::int32_t position = 0;
        if (m_count - 1 - index < index) {
            node = m_last;
            position = m_count - 1;
        }
        if (m_cursorNode != nullptr && Distance(m_cursorIndex, index) < Distance(position, index)) {
            node = m_cursorNode;
            position = m_cursorIndex;
        }
        for (; position < index; ++position) {
            node = node->next;
        }
        for (; position > index; --position) {
            node = node->previous;
        }
        m_cursorIndex = index;
        m_cursorNode = node;
        return node;
    }

    /// Number of keys.
    std::int32_t GetCount() const { return m_count; }
    /// The root node; the sentinel while the map is empty.
    const CNode* GetRoot() const { return m_root; }
    /// The node with the smallest key; null while the map is empty.
    const CNode* GetFirst() const { return m_first; }
    /// The node with the largest key; null while the map is empty.
    const CNode* GetLast() const { return m_last; }
    /// The node that stands for every missing child.
    const CNode* GetSentinel() const { return &m_sentinel; }
    /// Position of the cursor, -1 until GetAt places it.
    std::int32_t GetCursorIndex() const { return m_cursorIndex; }
    /// The node at the cursor's position, null until GetAt places it.
    const CNode* GetCursorNode() const { return m_cursorNode; }
    /// The node pool, for its counters.
    const CPool& GetPool() const { return m_pool; }

private:
    static std::int32_t Distance(std::int32_t a, std::int32_t b) { return a < b ? b - a : a - b; }

    // Hangs a new leaf under its parent and splices it into the key-order list.
    void Thread(CNode* node)
    {
        CNode* parent = node->parent;
        if (parent == nullptr) {
            m_root = node;
        } else if (node->key < parent->key) {
            parent->left = node;
            node->next = parent;
            node->previous = parent->previous;
        } else {
            parent->right = node;
            node->previous = parent;
            node->next = parent->next;
        }
        if (node->previous != nullptr) {
            node->previous->next = node;
        } else {
            m_first = node;
        }
        if (node->next != nullptr) {
            node->next->previous = node;
        } else {
            m_last = node;
        }
    }

    // Restores the red-black rules after node was added as a red leaf.
    void Rebalance(CNode* node)
    {
        while (node != m_root && node->parent->colour == kRed) {
            CNode* parent = node->parent;
            CNode* grandparent = parent->parent;
            if (parent == grandparent->left) {
                CNode* uncle = grandparent->right;
                if (uncle->colour == kRed) {
                    node = Recolour(parent, uncle, grandparent);
                    continue;
                }
                if (node == parent->right) {
                    node = parent;
                    RotateLeft(node);
                }
                node->parent->colour = kBlack;
                node->parent->parent->colour = kRed;
                RotateRight(node->parent->parent);
            } else {
                CNode* uncle = grandparent->left;
                if (uncle->colour == kRed) {
                    node = Recolour(parent, uncle, grandparent);
                    continue;
                }
                if (node == parent->left) {
                    node = parent;
                    RotateRight(node);
                }
                node->parent->colour = kBlack;
                node->parent->parent->colour = kRed;
                RotateLeft(node->parent->parent);
            }
        }
        m_root->colour = kBlack;
    }

    // Red uncle: pushes the grandparent's blackness down; the grandparent is next to check.
    static CNode* Recolour(CNode* parent, CNode* uncle, CNode* grandparent)
    {
        parent->colour = kBlack;
        uncle->colour = kBlack;
        grandparent->colour = kRed;
        return grandparent;
    }

    // Rotations change parent and child links only; the sentinel's parent stays null.
    void RotateLeft(CNode* x)
    {
        CNode* y = x->right;
        x->right = y->left;
        if (y->left != &m_sentinel) {
            y->left->parent = x;
        }
        ReplaceChild(x, y);
        y->left = x;
        x->parent = y;
    }

    void RotateRight(CNode* x)
    {
        CNode* y = x->left;
        x->left = y->right;
        if (y->right != &m_sentinel) {
            y->right->parent = x;
        }
        ReplaceChild(x, y);
        y->right = x;
        x->parent = y;
    }

    // Puts y where x hangs: under x's parent, or at the root.
    void ReplaceChild(CNode* x, CNode* y)
    {
        y->parent = x->parent;
        if (x->parent == nullptr) {
            m_root = y;
        } else if (x == x->parent->left) {
            x->parent->left = y;
        } else {
            x->parent->right = y;
        }
    }

    void ReleaseSubtree(CNode* node)
    {
        if (node == &m_sentinel) {
            return;
        }
        ReleaseSubtree(node->left);
        ReleaseSubtree(node->right);
        KP::Release(node->key);
        VP::Release(node->value);
        node->~CNode();
        m_pool.Return(node);
    }

    CPool m_pool;
    CNode* m_root;
    CNode* m_first = nullptr;
    CNode* m_last = nullptr;
    CNode m_sentinel;
    std::int32_t m_cursorIndex = -1;
    CNode* m_cursorNode = nullptr;
    std::int32_t m_count = 0;
};
