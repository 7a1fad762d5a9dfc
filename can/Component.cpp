// Portable: the owner-component model (see Component.h).
#include "Component.h"

#include <algorithm>

TComponent::TComponent(TComponent* AOwner) {
    if (AOwner) {
        AOwner->InsertComponent(this);
    }
}

TComponent::~TComponent() {
    Destroying();
    // Each owned component leaves this list in its own destructor.
    while (!FComponents.empty()) {
        delete FComponents.back();
    }
    if (FOwner) {
        FOwner->RemoveComponent(this);
    }
}

void TComponent::Destroying() {
    if (FDestroying) {
        return;
    }
    FDestroying = true;
    for (TComponent* owned : FComponents) {
        owned->Destroying();
    }
}

void TComponent::InsertComponent(TComponent* AComponent) {
    FComponents.push_back(AComponent);
    AComponent->FOwner = this;
}

void TComponent::RemoveComponent(TComponent* AComponent) {
    const auto found = std::find(FComponents.begin(), FComponents.end(), AComponent);
    if (found != FComponents.end()) {
        FComponents.erase(found);
    }
    AComponent->FOwner = nullptr;
}
