/* The shipped programs' zstd decoder verifies no frame checksum: the builder writes none, the
   digest record guards every frame, and the decoder is told to ignore one (ZSTD_d_
   forceIgnoreChecksum). These stand in for the hash functions, so that they are not linked. */
#include <stddef.h>
#include <string.h>

typedef unsigned long long U64;
typedef struct {
    U64 Unused[11];
} XXH64_state_t;

int ZSTD_XXH64_reset(XXH64_state_t* State, U64 Seed) {
    (void)Seed;
    memset(State, 0, sizeof *State);
    return 0;
}

int ZSTD_XXH64_update(XXH64_state_t* State, const void* Data, size_t Size) {
    (void)State;
    (void)Data;
    (void)Size;
    return 0;
}

U64 ZSTD_XXH64_digest(const XXH64_state_t* State) {
    (void)State;
    return 0;
}

U64 ZSTD_XXH64(const void* Data, size_t Size, U64 Seed) {
    (void)Data;
    (void)Size;
    return Seed;
}
