// Scanning through SANE: the three operations the document relies on.
//
//   available  SANE initialises and lists at least one device
//   select     the user picks a device (the dialog is the GUI's; this layer
//              keeps the choice for the rest of the run)
//   acquire    one page with the device's current options, as a packed
//              device-independent bitmap (40-byte BITMAPINFOHEADER, colour
//              table, bottom-up rows), owned by the caller
//
// Listing devices can take seconds (network backends), so the first listing
// runs on a helper thread started by StartProbe(); Poll() reads its result
// without waiting, every other call waits for it. All SANE calls are made by
// one thread at a time.
//
// Frames: grey and colour frames of depth 1, 8 or 16, three-pass frames (one
// red, green and blue frame each) and hand-scanner frames of unknown length
// (read to the end of the data). 16-bit samples keep their high byte; 1-bit
// line art becomes a 1-bit bitmap with palette entry 0 black and 1 white;
// grey becomes 8 bits with an ascending grey palette; colour 24 bits stored
// blue, green, red.
#ifndef VELLUM_PLATFORM_SCANNER_H
#define VELLUM_PLATFORM_SCANNER_H

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vellum
{

struct ScanDevice
{
  std::string name;   // SANE device name, e.g. "test:0"
  std::string vendor; // for display
  std::string model;
  std::string type;
};

// One frame as SANE delivers it (format codes are SANE's).
enum ScanFrameFormat
{
  kFrameGray = 0,
  kFrameRgb = 1,
  kFrameRed = 2,
  kFrameGreen = 3,
  kFrameBlue = 4
};

struct ScanFrame
{
  int format = kFrameGray;
  int depth = 8; // bits per sample: 1, 8 or 16
  int pixelsPerLine = 0;
  int bytesPerLine = 0;
  int lines = 0; // lines actually held in data
  std::vector<uint8_t> data;
};

// Upper bound of the bytes one acquisition may hold (all frames together).
constexpr int64_t kMaxScanBytes = int64_t{1} << 30;

// Packs the frames of one page into a DIB block. frames holds either one
// grey or colour frame, or red, green and blue frames (any order). dpi > 0
// is stored as pixels per metre. Returns an empty vector and sets *error on
// inconsistent frames (sizes, depths, missing channels).
std::vector<uint8_t> PackFramesToDib(const std::vector<ScanFrame> &frames, int xdpi, int ydpi,
                                     std::string *error);

class Scanner
{
public:
  enum Availability
  {
    kUnknown,    // probe still running (or not started)
    kAvailable,  // at least one device
    kUnavailable // SANE failed to initialise or lists no device
  };

  // The process-wide scanner (created on first use).
  static Scanner &Instance();

  ~Scanner();
  Scanner(const Scanner &) = delete;
  Scanner &operator=(const Scanner &) = delete;

  // Starts listing devices on a helper thread (once; later calls do nothing).
  void StartProbe();
  // The probe's result without waiting.
  Availability Poll();
  // Waits for the probe (starting it if needed); true with at least one device.
  bool IsSourceManagerAvailable();
  // The devices of the last listing (waits for the probe).
  std::vector<ScanDevice> Devices();
  // Lists the devices again (blocking).
  void Refresh();

  // Remembers the device used by Acquire for the rest of the run. An empty
  // name means the first listed device.
  void SelectSource(const std::string &name);
  std::string SelectedSource() const;

  // Options set by name before each scan (tests use this for a deterministic
  // frame; values as text: "Gray", "8", "yes", "50"). Unknown or inactive
  // options are skipped.
  void SetOption(const std::string &name, const std::string &value);
  void ClearOptions();

  // Scans one page; the DIB block or an empty vector on failure or cancel,
  // with LastError() telling why.
  std::vector<uint8_t> Acquire();
  std::string LastError() const;

  // Closes SANE (sane_exit); a later call initialises it again. The program
  // calls it when it ends; the destructor does not.
  void Shutdown();

private:
  Scanner();
  struct State;
  std::unique_ptr<State> m;
};

} // namespace vellum

#endif
