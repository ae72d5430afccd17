// How a provider describes the type of a result column to the cursor engine.
#pragma once

#include <dbplatform/ado/Provider.h>

namespace dbplatform::provider {

struct ColumnType {
    DataTypeEnum type = adVarWChar;
    ValueKind kind = ValueKind::Text;  // the form in which cells of the column are read
    long definedSize = 0;              // characters for text, bytes for binary, else the type's size
};

}  // namespace dbplatform::provider
