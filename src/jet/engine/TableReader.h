#pragma once

#include "jet/DataAccess.h"
#include "jet/engine/Database.h"

#include <optional>

namespace fwb::jet::engine {

// The rows of `query.table` that satisfy every condition, in stored order, with the chosen
// columns under their stored names. Nothing when a table or column is unknown, when the table
// cannot be read, or when a value is longer than the engine reads.
std::optional<Table> selectRows(Database &database, const Query &query);

} // namespace fwb::jet::engine
