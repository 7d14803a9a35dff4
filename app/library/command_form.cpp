#include "library/command_form.h"

#include "library/standard_warnings.h"
#include "runtime/message_box.h"
#include "runtime/wait_cursor.h"

namespace kvr::library {

namespace {

constexpr const char *kBlankCardNotice = "La tarjeta no puede quedar en blanco";

// The field of a record that an entry edits.
template <class Record, class Visit>
void withField(Record &record, FormField field, Visit visit) {
    switch (field) {
    case FormField::Card: visit(record.card); break;
    case FormField::Name: visit(record.name); break;
    case FormField::Code: visit(record.frsCode); break;
    case FormField::Cla: visit(record.frsCla); break;
    case FormField::Ins: visit(record.frsIns); break;
    case FormField::P1: visit(record.frsP1); break;
    case FormField::P2: visit(record.frsP2); break;
    case FormField::P3: visit(record.frsP3); break;
    case FormField::Data: visit(record.data); break;
    case FormField::HotKey: break;
    }
}

}  // namespace

CommandForm::CommandForm(CommandsLibrary &library) : library_(library), call_(library.formCall()), use_(library) {
    request_ = call_.request == FormChange || call_.request == FormDelete ? FormRequest(call_.request) : FormInsert;
    call_.request = 0;
    call_.response = 0;
    use_.acquire();
    atOpening_ = record();
}

CommandForm::~CommandForm() {
    if (!finished_) finish();
}

std::string CommandForm::text(FormField field) const {
    std::string shown;
    withField(library_.commandsRecord(), field, [&shown](const auto &f) { shown = fieldText(f); });
    return shown;
}

void CommandForm::setText(FormField field, std::string_view bytes) {
    withField(record(), field, [bytes](auto &f) { setField(f, bytes); });
    // The notice of a blank card goes once the card is filled in.
    if (field == FormField::Card && notice_ == kBlankCardNotice && !text(FormField::Card).empty()) notice_.clear();
}

std::string CommandForm::actionMessage() const {
    return request_ == FormChange && !recordGone_ ? "Se modificará el registro" : "Se añadirá un registro";
}

void CommandForm::runDelete() {
    if (library_.warnings().ask(Warning::ConfirmDelete, library_.commandsFile().lastError()) != runtime::ButtonOk)
        return;
    for (;;) {
        response_ = FormCancelled;
        WriteResult result;
        {
            runtime::WaitCursor wait;
            result = library_.deleteCommandsRecord();
        }
        if (result == WriteResult::Written) {
            response_ = FormCompleted;
            return;
        }
        if (library_.warnings().ask(Warning::RetryDelete, library_.commandsFile().lastError()) != runtime::ButtonYes)
            return;
    }
}

void CommandForm::ditto(FormField field) {
    Commands &buffer = record();
    if (field == FormField::HotKey) {
        buffer.hotKey = call_.history.hotKey;
        return;
    }
    withField(call_.history, field,
              [&](const auto &from) { withField(buffer, field, [&](auto &to) { std::memcpy(to, from, sizeof to); }); });
}

bool CommandForm::differsFromOpening() { return !sameCommands(record(), atOpening_); }

AfterSave CommandForm::save() {
    if (text(FormField::Card).empty()) {
        notice_ = kBlankCardNotice;
        return AfterSave::StayOnCard;
    }
    notice_ = recordGone_ ? std::string(kRecordDeletedElsewhere) : std::string();
    call_.history = record();
    return request_ == FormChange && !recordGone_ ? change() : add();
}

AfterSave CommandForm::add() {
    if (library_.commandsFile().add() == keyed::KeyedOk) {
        response_ = FormCompleted;
        notice_.clear();
        return AfterSave::Close;
    }
    library_.warnings().tell(Warning::RecordInsertFailed, library_.commandsFile().lastError());
    return AfterSave::StayOnCard;
}

AfterSave CommandForm::change() {
    for (;;) {
        response_ = FormCancelled;
        WriteResult result = WriteResult::Written;
        {
            runtime::WaitCursor wait;
            if (differsFromOpening()) result = library_.updateCommandsRecord(true);
        }
        switch (result) {
        case WriteResult::Written: response_ = FormCompleted; return AfterSave::Close;
        case WriteResult::ChangedByAnotherStation:
            // RecordWasNotUpdated has been shown; the buffer holds the
            // stored record.
            return AfterSave::StayOnCard;
        case WriteResult::DeletedByAnotherStation:
            // RecordWasNotUpdated has been shown; the operator's values
            // stay, and the next OK adds them.
            recordGone_ = true;
            notice_ = kRecordDeletedElsewhere;
            return AfterSave::StayOnCard;
        case WriteResult::Failed: break;
        }
        const std::int32_t answer = library_.warnings().ask(Warning::RetryChange, library_.commandsFile().lastError());
        if (answer == runtime::ButtonYes) continue;
        if (answer == runtime::ButtonNo) return AfterSave::Close;
        return AfterSave::StayOnCard;
    }
}

std::int32_t CommandForm::finish() {
    if (!finished_) {
        finished_ = true;
        use_.release();
        call_.response = response_ == 0 ? FormCancelled : response_;
    }
    return call_.response;
}

}  // namespace kvr::library
