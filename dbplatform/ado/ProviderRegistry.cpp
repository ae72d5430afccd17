#include <dbplatform/ado/Provider.h>

#include <cctype>
#include <map>
#include <mutex>

namespace dbplatform::provider {
namespace {

std::string Folded(std::string_view name) {
    std::string out(name);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

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
    Registry()[Folded(name)] = std::move(factory);
}

ProviderFactory FindProvider(std::string_view name) {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    auto it = Registry().find(Folded(name));
    if (it == Registry().end()) return {};
    return it->second;
}

}  // namespace dbplatform::provider
