#pragma once
// A fixture for the settings and localisation tests: each test runs in an empty temporary
// working directory (the program reads "Orvane.ini" and "language.ini" from there), with
// the process-wide values cleared and the installer variable unset; all is put back after.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include "settings/localisation.h"
#include "settings/settings_store.h"

class settings_folder_c : public ::testing::Test {
protected:
    static constexpr char installer_variable[] = "ORVANE_INSTALLER_LANGUAGE";

    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        previous_dir_ = QDir::currentPath();
        had_variable_ = qEnvironmentVariableIsSet(installer_variable);
        previous_variable_ = qgetenv(installer_variable);
        qunsetenv(installer_variable);
        clear_values();
        ASSERT_TRUE(QDir::setCurrent(dir_.path()));
    }

    void TearDown() override
    {
        QDir::setCurrent(previous_dir_);
        if (had_variable_) {
            qputenv(installer_variable, previous_variable_);
        } else {
            qunsetenv(installer_variable);
        }
        clear_values();
    }

    static void clear_values()
    {
        translation_table.clear();
        language_list.clear();
        current_language_index = 0;
        language.clear();
        recovery_folder.clear();
        delete settings_file;
        settings_file = nullptr;
    }

    // Writes a file of the working directory, byte for byte.
    void write_file(const QString& name, const QByteArray& bytes)
    {
        QFile file(dir_.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QByteArray read_file(const QString& name)
    {
        QFile file(dir_.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    bool file_exists(const QString& name) const { return QFile::exists(dir_.filePath(name)); }

    QTemporaryDir dir_;

private:
    QString previous_dir_;
    bool had_variable_ = false;
    QByteArray previous_variable_;
};
