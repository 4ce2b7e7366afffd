#include "tests/data/work_database_fixture.h"
