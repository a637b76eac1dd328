// Object image writer. Nothing produces bytes yet: the location counter
// advances and the object file stays empty.
#include "driver/driver.h"
#include "output/output.h"

namespace vexa {

int object_error_number;

int emit_code(uint8_t count) {
    location_counter += count;
    return 0;
}

int emit_data(uint8_t count) {
    location_counter += count;
    return 0;
}

int emit_gap(int32_t count) {
    location_counter += count;
    return 0;
}

}  // namespace vexa
