// The replaceable data-link prompt.
#include <dbplatform/datalink/DataLinkPrompt.h>

#include <mutex>
#include <utility>

namespace dbplatform {

namespace {
struct PromptSlot {
    std::mutex mutex;
    DataLinkPrompt prompt;
};
PromptSlot& Slot() {
    static PromptSlot slot;
    return slot;
}
}  // namespace

DataLinkPrompt SetDataLinkPrompt(DataLinkPrompt prompt) {
    PromptSlot& slot = Slot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    return std::exchange(slot.prompt, std::move(prompt));
}

namespace datalink {

// The prompt is copied out of the slot so that a dialog may run for as long as the user
// needs without holding the lock.
bool RunDataLinkPrompt(std::string& connectionString) {
    DataLinkPrompt prompt;
    {
        PromptSlot& slot = Slot();
        std::lock_guard<std::mutex> lock(slot.mutex);
        prompt = slot.prompt;
    }
    if (!prompt) return TerminalDataLinkPrompt(connectionString);
    return prompt(connectionString);
}

}  // namespace datalink
}  // namespace dbplatform
