#pragma once

class MessageBoxes;
class SettingsStore;

// Serves the automation entry until no object is held and no window open; the exit status.
int runAutomation(SettingsStore& settings, MessageBoxes& boxes);
