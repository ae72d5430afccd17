#include <dbplatform/ado/Provider.h>

#include <map>
#include <mutex>

#include <dbplatform/base/AsciiText.h>

namespace dbplatform::provider {
namespace {

// Function-local statics: providers register themselves from static objects in other
// translation units, whose construction order relative to ours is unspecified.
std::mutex& RegistryMutex() {
    static std::mutex mutex;
    return mutex;
}
std::map<std::string, ProviderFactory>& Registry() {
    static std::map<std::string, ProviderFactory> registry;
    return registry;
}

}  // namespace

void RegisterProvider(std::string_view name, ProviderFactory factory) {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    Registry()[AsciiLowered(name)] = std::move(factory);
}

ProviderFactory FindProvider(std::string_view name) {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    auto it = Registry().find(AsciiLowered(name));
    if (it == Registry().end()) return {};
    return it->second;
}

}  // namespace dbplatform::provider
