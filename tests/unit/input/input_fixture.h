// Shared set-up for the reader tests: the tree and sequence files as temporary
// files, a report file to read back, and the release of every node read.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "input/input.h"
#include "run/run.h"

namespace vorbex {

class InputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedMask = runSettings.outputMask;
        runSettings.outputMask = 0;
        resetNodeTable();
        reportFile = std::tmpfile();
    }

    void TearDown() override {
        releaseTree();
        for (FILE** file : {&treeFile, &inputFile, &reportFile}) {
            if (*file != nullptr)
                std::fclose(*file);
            *file = nullptr;
        }
        runSettings.outputMask = savedMask;
    }

    static FILE* fileWith(const std::string& text) {
        FILE* file = std::tmpfile();
        std::fwrite(text.data(), 1, text.size(), file);
        std::rewind(file);
        return file;
    }

    static void replaceFile(FILE*& file, FILE* with) {
        if (file != nullptr)
            std::fclose(file);
        file = with;
    }

    void setTree(const std::string& text) { replaceFile(treeFile, fileWith(text)); }
    void setSequences(const std::string& text) { replaceFile(inputFile, fileWith(text)); }
    void clearReport() { replaceFile(reportFile, std::tmpfile()); }

    // Reads the tree quietly, for the sequence reader's tests.
    void readTreeQuietly(const std::string& text) {
        setTree(text);
        testing::internal::CaptureStdout();
        ASSERT_EQ(readTree(), 0);
        testing::internal::GetCapturedStdout();
    }

    std::string reportText() const {
        std::fflush(reportFile);
        std::string text;
        std::rewind(reportFile);
        for (int c; (c = std::getc(reportFile)) != EOF;)
            text.push_back(static_cast<char>(c));
        return text;
    }

    TreeNode* nodeNamed(const char* name) const {
        for (int i = 0; i < nodeCount; ++i)
            if (std::string(nodeTable[i]->name) == name)
                return nodeTable[i];
        return nullptr;
    }

  private:
    int savedMask = 0;
};

} // namespace vorbex
