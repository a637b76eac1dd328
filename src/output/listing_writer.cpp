// Listing writer. The listing file is created but its lines are not written yet.
#include "output/output.h"

namespace vexa {

void list_statement() {}

void reset_listing() {}

}  // namespace vexa
