// arcwise-make-sample-doc OUTPUT.doc: writes the compound document of the
// sample archive, a word-processor file in OLE structured storage whose
// summary information names a title, subject, author, keywords and
// comments, so that the sample shows the properties a compound document
// gives. The file is made with the same property-set writer the tests use.
#include <cstdio>

#include "support/compound_writer.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Usage: arcwise-make-sample-doc OUTPUT.doc\n");
    return 2;
  }
  arcwise_test::PropertySetWriter summary(FMTID_SummaryInformation, 1252);
  summary.Lpstr(2, "Quarterly report Q3")
      .Lpstr(3, "Sales figures for the third quarter")
      .Lpstr(4, "Ada Lovelace")
      .Lpstr(5, "sales; quarterly; sample")
      .Lpstr(6, "Made by the Arcwise sample script");
  if (!arcwise_test::WriteSummaryInformationFile(argv[1], summary)) {
    std::fprintf(stderr, "arcwise-make-sample-doc: writing %s failed\n", argv[1]);
    return 1;
  }
  return 0;
}
