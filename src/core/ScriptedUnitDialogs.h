#pragma once
#include "core/UnitDialogs.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace zelvo {

// The unit-pick and file dialogs answered from a script: tests use them in process,
// end-to-end runs switch the tool to them with two environment variables
//   ZELVO_UNIT_PICKS=0,cancel,1        entry chosen with OK, or "cancel", used in order
//   ZELVO_FILE_CHOICES=/a/x.dat:cancel  paths chosen, or "cancel", separated by ':'
// When a script runs out, the dialog is cancelled.
class ScriptedUnitPickDialog final : public UnitPickDialog
{
public:
    // An entry for OK, nullopt for Cancel.
    explicit ScriptedUnitPickDialog(std::vector<std::optional<int>> answers = {});
    // From ZELVO_UNIT_PICKS; nullopt when it is not set or malformed.
    static std::optional<std::vector<std::optional<int>>> AnswersFromText(const std::string& text);

    bool Run(const UnitPickContent& content, int& entry) override;
    const std::vector<UnitPickContent>& Shown() const { return m_shown; }

private:
    std::deque<std::optional<int>> m_answers;
    std::vector<UnitPickContent> m_shown;
};

class ScriptedUnitFileDialog final : public UnitFileDialog
{
public:
    // A full path for OK, nullopt for Cancel.
    explicit ScriptedUnitFileDialog(std::vector<std::optional<std::string>> answers = {});
    static std::vector<std::optional<std::string>> AnswersFromText(const std::string& text);

    std::optional<ChosenFile> Run(const UnitFileContent& content) override;
    const std::vector<UnitFileContent>& Shown() const { return m_shown; }

private:
    std::deque<std::optional<std::string>> m_answers;
    std::vector<UnitFileContent> m_shown;
};

} // namespace zelvo
