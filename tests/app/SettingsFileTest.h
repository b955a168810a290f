// A temporary folder holding one settings file, written and read back as raw bytes.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

class SettingsFileTest : public testing::Test {
protected:
    explicit SettingsFileTest(QString fileName)
        : m_fileName(std::move(fileName))
    {
    }

    void SetUp() override { ASSERT_TRUE(m_folder.isValid()); }

    QString path() const { return m_folder.filePath(m_fileName); }
    void write(const QByteArray& bytes) const;
    // The file's bytes, or "<missing>".
    QByteArray read() const;

private:
    QString m_fileName;
    QTemporaryDir m_folder;
};
