#pragma once

#include <QString>

// A user name as the login's upper-case input writes it: each letter that has a single upper-case
// letter becomes that letter, every other character stays ("weiß" gives "WEIß", not "WEISS").
// A server matches user names so that a name and this form of it name the same user.
QString upperCaseUserName(const QString& name);
