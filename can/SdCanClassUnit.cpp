// Portable: the abstract CAN API's defaults and the creator registry.
#include "SdCanClassUnit.h"

void TSdCanApi::SetEvent(int Index, TNotifyEvent Handler) {
    if (Index == 1) {
        FOnCanRx = std::move(Handler);
    } else if (Index == 2) {
        FOnCanTx = std::move(Handler);
    }
}

TNotifyEvent TSdCanApi::GetEvent(int Index) const {
    if (Index == 1) {
        return FOnCanRx;
    }
    if (Index == 2) {
        return FOnCanTx;
    }
    return {};
}

std::wstring TSdCanApi::FGetChannelCapabilities(int32_t idx) const {
    (void)idx;
    return GatewayCapabilities;
}

void TSdCanApi::Offline() {
    SetBusActive(false);
    SetActive(false);
}

void TSdCanApi::Online() {
    SetActive(true);
    SetBusActive(true);
}

void TSdCanApi::OffOn() {
    Offline();
    Online();
}

TCanApiCreatorMap& CanApiCreators() {
    // Created on first use; destroyed with its creators when the program ends.
    static TCanApiCreatorMap creators;
    return creators;
}

void RegisterCanApiCreator(std::unique_ptr<TCanApiCreator> Creator) {
    if (!Creator) {
        return;
    }
    const int32_t id = Creator->OwnData.id;
    CanApiCreators()[id] = std::move(Creator);
}

void InitializeSdCanClassUnit() {
    CanApiCreators().clear();
}
