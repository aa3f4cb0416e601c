// The pointer list of the FRU and SDR libraries: items in the order they
// were added (nothing is sorted), compared by identity. The list owns its
// nodes, never the items.
#ifndef SRVFW_BMC_ORDERED_LIST_H
#define SRVFW_BMC_ORDERED_LIST_H

#include <new>
#include <type_traits>

template <typename T>
class OrderedList {
    static_assert(std::is_pointer_v<T>, "OrderedList holds pointers");

  public:
    struct OrderedListNode {
        T item = nullptr;
        OrderedListNode* previous = nullptr;
        OrderedListNode* next = nullptr;

        OrderedListNode() = default;
        OrderedListNode(const OrderedListNode&) = delete;
        OrderedListNode& operator=(const OrderedListNode&) = delete;

        // A node takes the nodes after it along. The chain is walked rather
        // than deleted recursively, so that a long list cannot exhaust the
        // stack.
        ~OrderedListNode() {
            OrderedListNode* successor = next;
            while (successor != nullptr) {
                OrderedListNode* after = successor->next;
                successor->next = nullptr;
                delete successor;
                successor = after;
            }
        }
    };

    OrderedList() = default;
    ~OrderedList() { delete mHead; }
    OrderedList(const OrderedList&) = delete;
    OrderedList& operator=(const OrderedList&) = delete;

    // The item, or null when it is null or no node can be allocated.
    // Appending walks the whole list.
    T Add(T item) {
        if (item == nullptr) return nullptr;
        if (mHead == nullptr) {
            mHead = new (std::nothrow) OrderedListNode;
            if (mHead == nullptr) return nullptr;
        }
        OrderedListNode* last = LastNode();
        if (last == mHead && last->item == nullptr) {
            last->item = item;
        } else {
            OrderedListNode* node = new (std::nothrow) OrderedListNode;
            if (node == nullptr) return nullptr;
            node->item = item;
            node->previous = last;
            last->next = node;
        }
        ++mCount;
        return item;
    }

    // Removes the first occurrence; the item, or null when it is null or
    // not in the list.
    T Remove(T item) {
        OrderedListNode* node = Find(item);
        if (node == nullptr) return nullptr;
        if (node->previous != nullptr) node->previous->next = node->next;
        if (node->next != nullptr) node->next->previous = node->previous;
        if (node == mHead) mHead = node->next;
        node->previous = nullptr;
        node->next = nullptr;
        delete node;
        --mCount;
        return item;
    }

    T RemoveLast() { return Remove(Last()); }

    unsigned Count() const { return mCount; }

    T First() const { return mHead != nullptr ? mHead->item : nullptr; }

    T Last() const {
        const OrderedListNode* last = LastNode();
        return last != nullptr ? last->item : nullptr;
    }

    // The item after the first occurrence of item; null when item is the
    // last one or not in the list.
    T Next(T item) const {
        const OrderedListNode* node = Find(item);
        return node != nullptr && node->next != nullptr ? node->next->item : nullptr;
    }

    // The i-th item counted from 0, or null when i >= Count().
    T operator[](unsigned i) const {
        const OrderedListNode* node = mHead;
        for (; node != nullptr && i > 0; --i) node = node->next;
        return node != nullptr ? node->item : nullptr;
    }

  private:
    OrderedListNode* Find(T item) const {
        if (item == nullptr) return nullptr;
        OrderedListNode* node = mHead;
        while (node != nullptr && node->item != item) node = node->next;
        return node;
    }

    OrderedListNode* LastNode() const {
        OrderedListNode* node = mHead;
        while (node != nullptr && node->next != nullptr) node = node->next;
        return node;
    }

    OrderedListNode* mHead = nullptr;
    unsigned mCount = 0;
};

#endif
