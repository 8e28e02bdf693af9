#pragma once

#include "DbServer.h"

#include <memory>

class VdbCore;

// The interface objects of an open .vdb database: thin handles onto its VdbCore.
DatabasePtr makeDatabaseHandle(std::shared_ptr<VdbCore> core);
TablePtr makeTableHandle(std::shared_ptr<VdbCore> core, int table);
