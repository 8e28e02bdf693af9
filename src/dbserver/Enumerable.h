#pragma once

#include <cstddef>
#include <iterator>
#include <memory>

// A collection a range-for can walk: members by position from 0, handed out as shared references.
template <class T>
class Enumerable {
public:
    virtual ~Enumerable() = default;

    // Number of members.
    virtual int Count() = 0;
    // Member at position from 0; fails when there is none.
    virtual std::shared_ptr<T> At(int position) = 0;

    class iterator {
    public:
        using value_type = std::shared_ptr<T>;
        using difference_type = std::ptrdiff_t;

        iterator() = default;
        iterator(Enumerable* owner, int position)
            : owner_(owner)
            , position_(position) {}
        value_type operator*() const { return owner_->At(position_); }
        iterator& operator++() {
            ++position_;
            return *this;
        }
        iterator operator++(int) {
            iterator before = *this;
            ++position_;
            return before;
        }
        bool operator==(const iterator& other) const { return position_ == other.position_; }

    private:
        Enumerable* owner_ = nullptr;
        int position_ = 0;
    };

    iterator begin() { return iterator(this, 0); }
    iterator end() { return iterator(this, Count()); }
};

// A shared reference to an enumerable collection that a range-for walks directly and keeps
// alive while it walks: for (const FieldPtr& field : table->Fields()). It offers no operator*,
// because "for (... : *table->Fields())" would walk a collection destroyed before the loop.
template <class C>
class CollectionRef : private std::shared_ptr<C> {
    using Base = std::shared_ptr<C>;

public:
    CollectionRef() = default;
    template <class D>
    CollectionRef(std::shared_ptr<D> collection)
        : Base(std::move(collection)) {}

    using Base::get;
    using Base::operator->;
    using Base::operator bool;
    operator std::shared_ptr<C>() const { return *this; }

    auto begin() const { return Base::get()->begin(); }
    auto end() const { return Base::get()->end(); }
};
