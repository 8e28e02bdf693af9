#include "CurrentDatabase.h"

DatabasePtr gDatabase;
