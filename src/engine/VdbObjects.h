#pragma once

#include "DbServer.h"

#include <memory>

class EngineCore;

// The interface objects of an open database: thin handles onto its engine core.
DatabasePtr makeDatabaseHandle(std::shared_ptr<EngineCore> core);
TablePtr makeTableHandle(std::shared_ptr<EngineCore> core, int table);
