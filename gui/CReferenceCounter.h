// The base of every shared toolkit object (views, bitmaps): created with one reference, deleted
// when the last holder forgets it. Single-threaded: all toolkit objects live on the host's
// user-interface thread.
#pragma once

class CReferenceCounter {
public:
    CReferenceCounter() = default;
    virtual ~CReferenceCounter() = default;

    CReferenceCounter(const CReferenceCounter&) = delete;
    CReferenceCounter& operator=(const CReferenceCounter&) = delete;

    void remember() { ++references; }
    // Drops one reference; deletes the object when it was the last.
    void forget()
    {
        if (--references == 0)
            delete this;
    }
    int getNbReference() const { return references; }

private:
    int references = 1;   // holders of this object; the creator holds the first
};
