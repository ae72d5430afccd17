// Whether the charge that DumpSelectNewBD is about to hand out can be keyed by the
// text it hands out. Internal to libMorvane; not installed.
#pragma once

#include <string>

#include <dbplatform/dbplatform.h>

namespace morvane {

struct ChargeKeyVerdict {
    enum Kind {
        Keyed,      // the newest unprocessed charge is stored exactly at the key
        Unkeyable,  // it is stored at another value that reads as the same second
        Moved,      // a newer charge arrived since the key was read: read again
    };
    Kind kind = Keyed;
    std::string storedTime;  // Unkeyable: the charge's time as the database stores it
};

// Asks the database, by its own comparison (the one that decides whether a charge is
// processed), whether the newest unprocessed charge equals `key`, the canonical text
// read from it. Raises _com_error when the query fails.
ChargeKeyVerdict CheckChargeKey(const _ConnectionPtr& connection, const std::string& key);

// The text shown for a charge that cannot be keyed, naming its stored time.
std::string UnkeyableChargeText(const std::string& storedTime, const std::string& key);

}  // namespace morvane
