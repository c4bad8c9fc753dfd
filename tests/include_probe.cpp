// One include and nothing else: PLIVAN_PROBE_HEADER, which the library the
// probe is built against must not be able to reach.
#include PLIVAN_PROBE_HEADER
