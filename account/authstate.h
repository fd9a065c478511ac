#pragma once

#include <QMetaType>

namespace OmbrAccount {

// The numbers are part of the contract: 2 was never used.
enum class AuthState {
    Unknown = 0,
    Unauthenticated = 1,
    Authenticated = 3,
};

} // namespace OmbrAccount

Q_DECLARE_METATYPE(OmbrAccount::AuthState)
