#pragma once

#include "app/model/PrivilegedHelperClient.h"

namespace aerivo {

// A helper client that only reports health: every action keeps the failing default.
class FakePrivilegedHelperClient final : public PrivilegedHelperClient {
public:
    PrivilegedHelperHealth health = PrivilegedHelperHealth::unavailable();
    int healthReads = 0;

    PrivilegedHelperHealth readHealth() override {
        ++healthReads;
        return health;
    }
};

} // namespace aerivo
