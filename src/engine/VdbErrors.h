#pragma once

#include "ErrorRecord.h"

#include <QString>

// Codes of the engine's server errors (number = 0x80040000 + code). The codes a user can act on
// at login have German and English texts in the string table under the same id.
namespace VdbCode {
constexpr quint32 NoSuchFile = 4101;
constexpr quint32 NotReadable = 4102;
constexpr quint32 NotADatabase = 4103;
constexpr quint32 NewerVersion = 4104;
constexpr quint32 UnknownUser = 4105;
constexpr quint32 WrongPassword = 4106;
constexpr quint32 NoDatabaseAdminRight = 4107;
constexpr quint32 NoUserAdminRight = 4108;
constexpr quint32 Locked = 4109;
constexpr quint32 ForeignSchemaObject = 4110;
constexpr quint32 NoSuchItem = 4120;
constexpr quint32 NoCurrentRecord = 4121;
constexpr quint32 ExpressionSyntax = 4122;
constexpr quint32 ExpressionValue = 4123;
constexpr quint32 TransactionState = 4124;
constexpr quint32 TypeMismatch = 4125;
constexpr quint32 InvalidArgument = 4126;
constexpr quint32 StorageFailure = 4127;
constexpr quint32 SchemaInvalid = 4128;
constexpr quint32 AlreadyExists = 4129;
constexpr quint32 ConditionViolated = 0x1076; // 0x80041076
} // namespace VdbCode

// Makes a server error with one engine's source.
using EngineError = ErrorRecord (*)(quint32 code, const QString& description);

// A server error with the .vdb engine's source.
ErrorRecord vdbError(quint32 code, const QString& description);
