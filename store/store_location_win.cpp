// The Windows program reads no configuration and knows no store on a server.
#include "store/store_kind.h"
#include "store/store_location.h"

std::optional<std::string> ConfiguredStoreLocation() { return std::nullopt; }

const StoreKind* ServerStoreKind() { return nullptr; }
