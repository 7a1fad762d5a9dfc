// Portable: the object model the CAN modules are written in. TObject is the common base of
// everything that can be an event's sender; a TComponent is created with an owner component,
// which destroys it when it is destroyed itself unless it was destroyed before.
#pragma once

#include <functional>
#include <vector>

class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject() = default;
};

// A plain event: only the sender.
using TNotifyEvent = std::function<void(TObject* Sender)>;

class TComponent : public TObject {
public:
    // A component with an owner must be created with new: the owner deletes it.
    explicit TComponent(TComponent* AOwner);
    // Destroys the owned components (the last created first), then leaves the owner.
    ~TComponent() override;

    TComponent* Owner() const { return FOwner; }
    int ComponentCount() const { return static_cast<int>(FComponents.size()); }
    TComponent* Components(int Index) const { return FComponents.at(Index); }
    // True from the start of the destruction of this component or of its owner.
    bool IsDestroying() const { return FDestroying; }

protected:
    // Marks this component and everything it owns as being destroyed. A descendant calls it
    // first thing in its destructor, so that what it does there can tell.
    void Destroying();

private:
    void InsertComponent(TComponent* AComponent);
    void RemoveComponent(TComponent* AComponent);

    TComponent* FOwner = nullptr;
    std::vector<TComponent*> FComponents;
    bool FDestroying = false;
};
