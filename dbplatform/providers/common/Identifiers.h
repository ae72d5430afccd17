// Names in SQL text, shared by the providers.
#pragma once

#include <string>
#include <string_view>

namespace dbplatform::provider {

// The name of the column a provider adds to a query to locate its rows (a rowid, a
// ctid). The engine keeps it but never shows it as a field; the provider recognises it
// again in a locator.
inline constexpr const char* kRowIdentityName = "row_identity_";

// `name` quoted for SQL with `quote` (" or `), the quote character doubled inside; a
// product without a quote character (`quote` '\0') gets the name as it is.
std::string QuoteIdentifier(std::string_view name, char quote);

}  // namespace dbplatform::provider
