#pragma once

#include <QString>

#include <functional>
#include <memory>

class MessageBoxes;
class SettingsStore;
class vcoOpenDatabase;

// What the start procedure works with; tests put in their own.
struct StartServices {
    SettingsStore& settings;
    MessageBoxes& boxes;
    // Creates the login component for one login.
    std::function<std::unique_ptr<vcoOpenDatabase>()> makeLogin;
    // Creates a main window on gDatabase, loads and shows it (failures go to the caller).
    std::function<void()> showMainWindow;
    // True when the automation service started the process: a host will hand over a database.
    bool automationStart = false;
    // The folder of the program file, without a trailing separator.
    QString programFolder;
};

// The start procedure: at an interactive start, the login with the remembered database and user,
// then the main window on the opened database.
void Main(StartServices& services);

// Runs the login and keeps its result as gDatabase; remembers database and user on success.
void OpenDatabaseWithLogin(StartServices& services, const QString& databasePath,
                           const QString& userName);
