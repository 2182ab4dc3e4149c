#include "db/quiz_database.h"
