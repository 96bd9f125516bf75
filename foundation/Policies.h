#pragma once
/// Element policies of CVector and CMap: how a container stores an element over
/// an old one and what it does with an element it destroys.

/// Plain values: copied by assignment, nothing to release.
struct SValue {
    /// target = source.
    template <class T>
    static void Assign(T& target, const T& source) { target = source; }
    /// Nothing to release.
    template <class T>
    static void Release(T&) {}
};

/// Owned pointers: the container deletes what its elements point to.
struct SOwnedPtr {
    /// Deletes the object target owned unless source is that same object, then takes source.
    template <class T>
    static void Assign(T*& target, T* const& source)
    {
        if (target != source) {
            delete target;
        }
        target = source;
    }
    /// Deletes the owned object (none for null) and leaves element null.
    template <class T>
    static void Release(T*& element)
    {
        delete element;
        element = nullptr;
    }
};
