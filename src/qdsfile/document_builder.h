// DocumentBuilder: one load of a QDS file into a DocumentModel, from the
// tokens that its TokenScanner finds in the text of its TextSource.
//
// The text of a token (section name, key, value, run of comment text) stays
// where it lies: the document's nodes borrow it. Sections join the document
// as soon as they are complete, entry lines a few lines later (EntryWindow),
// and a failed load joins the lines still waiting: it keeps everything read
// before the failure. The builder checks the digest at the end marker, and
// builds the layout of the file (KeepLayout).

#ifndef KNITFOLD_QDSFILE_DOCUMENT_BUILDER_H_
#define KNITFOLD_QDSFILE_DOCUMENT_BUILDER_H_

#include <qds/status.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "model/document_model.h"
#include "model/lookahead.h"
#include "qdsfile/qds_loader.h"
#include "qdsfile/text_source.h"
#include "qdsfile/token_scanner.h"

namespace qds {

class DocumentBuilder final : private ScanEvents {
 public:
  // Loads from `stream`, open for reading, into `document`; as ParseDocument.
  DocumentBuilder(DocumentModel& document, BufferedStream& stream, LoadFlags flags,
                  InputFlags input, LoadOutcome* outcome, uint32_t maxLine)
      : document_(document),
        flags_(flags),
        input_(input),
        outcome_(outcome),
        source_(document, stream),
        scanner_(*this, Has(LoadFlags::KeepComments), Has(LoadFlags::Lenient), maxLine) {}
  DocumentBuilder(const DocumentBuilder&) = delete;
  DocumentBuilder& operator=(const DocumentBuilder&) = delete;

  // The whole load, once.
  [[nodiscard]] LoadStatus Run();

 private:
  // ScanEvents
  void Header(std::u16string_view name, uint32_t close) override;
  bool EntryStarts() override;
  void Key(std::u16string_view name) override;
  void Value(std::u16string_view text) override;
  void LineEnded() override;
  void Failed(LoadStatus status, Reason reason) override { Fail(status, reason); }

  bool Has(LoadFlags flag) const { return qds::Has(flags_, flag); }
  bool Has(InputFlags flag) const { return qds::Has(input_, flag); }
  void Fail(LoadStatus status, Reason reason = Reason::None);
  // Fails the load with what the source failed with, if it did.
  void CheckSource();
  void ScanText();
  bool NextBlock();
  TextSlice Borrow(std::u16string_view text);

  void AddVersionSection();
  void AddSection(std::u16string_view name);
  void CloseSection();
  void AddItem(const ListNode* node, bool header);
  void CheckEndMarker(uint32_t close);
  void Finish();
  void StartLayout(std::optional<uint64_t> characters);
  void FinishLayout();
  void Report();

  DocumentModel& document_;
  const LoadFlags flags_;
  const InputFlags input_;
  LoadOutcome* const outcome_;
  TextSource source_;
  TokenScanner scanner_;
  EntryWindow entries_;
  LoadStatus status_ = LoadStatus::Ok;
  Reason reason_ = Reason::None;

  QdsSection* section_ = nullptr;
  // The previous entry line's key in the current section: a line that
  // repeats it exactly (`repeatKey_`) needs no lookup. It lies in the
  // document's text.
  std::u16string_view lastKey_;
  bool repeatKey_ = false;

  bool versionSeen_ = false;
  bool ordinarySeen_ = false;
  bool endSeen_ = false;
  bool checkLine_ = false;
  bool lineEndBeforeMarker_ = false;

  // With KeepLayout: the layout that the document gets if the load succeeds.
  std::unique_ptr<SourceLayout> layout_;
  // The digest is computed from the layout's bytes (the file read whole).
  bool digestFromBytes_ = false;
  // The current line made an item of the layout.
  bool lineMadeItem_ = false;
};

}  // namespace qds

#endif  // KNITFOLD_QDSFILE_DOCUMENT_BUILDER_H_
