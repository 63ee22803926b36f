#include "host/services/block.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "framework/host_services.h"
#include "host/properties/properties.h"
#include "host/services/context.h"
#include "host/services/names.h"

namespace r3::host {

Block::Block(std::string block_id, EntryFn fn) : id(std::move(block_id)), entry(fn) {
  scratch_.assign(64, 0);
}

int32_t Block::ncomp() const { return run().ncomp(); }
int32_t Block::lstrm() const { return ncomp() + 9; }

void Block::connect_streams() {
  smatin.assign(matin.size() * static_cast<size_t>(lstrm()), kRmiss);
  smatout.assign(matout.size() * static_cast<size_t>(lstrm()), kRmiss);
  sinfin.assign(infin.size(), kRmiss);
  sinfout.assign(infout.size(), kRmiss);
}

bool Block::set_material_inlet(int k, const std::vector<double>& flows, double T, double P) {
  if (k < 0 || k >= static_cast<int>(matin.size())) return false;
  if (smatin.size() != matin.size() * static_cast<size_t>(lstrm())) connect_streams();
  double* v = smatin.data() + static_cast<size_t>(k) * static_cast<size_t>(lstrm());
  return fill_stream_vector(ipropset, flows, T, P, v);
}

void Block::set_info_inlet(int k, double value) {
  if (sinfin.size() != infin.size()) connect_streams();
  if (k >= 0 && k < static_cast<int>(sinfin.size())) sinfin[static_cast<size_t>(k)] = value;
}

void Block::fill_int_array() {
  // The host's three-word header, then the model's integers.
  intv_.assign({1, static_cast<int32_t>(ints.size()), static_cast<int32_t>(reals.size())});
  intv_.insert(intv_.end(), ints.begin(), ints.end());
}

void Block::fill_id_words(const std::vector<std::string>& ids, std::vector<int32_t>& w) {
  w.assign(2 * std::max<size_t>(ids.size(), 1), 0x20202020);
  for (size_t i = 0; i < ids.size(); ++i) text_to_words(ids[i], w.data() + 2 * i, 2);
}

int32_t Block::call(int32_t kode, int32_t istat_in) {
  int32_t nmatin = static_cast<int32_t>(matin.size());
  int32_t ninfi = static_cast<int32_t>(infin.size());
  int32_t nmatout = static_cast<int32_t>(matout.size());
  int32_t ninfout = static_cast<int32_t>(infout.size());
  if (smatin.size() != static_cast<size_t>(nmatin) * static_cast<size_t>(lstrm()) ||
      smatout.size() != static_cast<size_t>(nmatout) * static_cast<size_t>(lstrm()) ||
      sinfin.size() != infin.size() || sinfout.size() != infout.size()) {
    connect_streams();
  }
  fill_id_words(matin, idw_[0]);
  fill_id_words(infin, idw_[1]);
  fill_id_words(matout, idw_[2]);
  fill_id_words(infout, idw_[3]);
  int32_t ls = lstrm();
  int32_t nsstrm = 1;
  int32_t issoff[1] = {0};
  int32_t isstyp[1] = {1};
  fill_int_array();
  int32_t nint = static_cast<int32_t>(intv_.size());
  int32_t nreal = static_cast<int32_t>(reals.size());
  int32_t idblk[2];
  text_to_words(id, idblk, 2);
  int32_t k = kode;
  // The property-method selection is a six-word item; its first word is the method.
  int32_t ips[6] = {ipropset, 0, 0, 0, 0, 0};
  istat = istat_in;
  std::fill(scratch_.begin(), scratch_.end(), 0);
  void* z = scratch_.data();
  int32_t* zi = scratch_.data();
  set_call_pattern_capacity(static_cast<int32_t>(ijrow.size()));
  set_call_sizes(static_cast<int32_t>(y.size()), static_cast<int32_t>(f.size()));
  entry(&nmatin, smatin.data(), &ninfi, sinfin.data(), &nmatout, smatout.data(), &ninfout,
        sinfout.data(), idw_[0].data(), idw_[1].data(), idw_[2].data(), idw_[3].data(), &ls,
        &nsstrm, issoff, isstyp, &nint, intv_.data(), &nreal, reals.data(), idblk, z, ips, z,
        z, z, z, z, z, z, zi, z, z, &ilayer, z, z, &k, &naux1, &nf, &ny, &naux2, &naux3, y.data(),
        ylb.data(), yub.data(), yscl.data(), ysbnd.data(), iyattr.data(), f.data(), fscl.data(),
        z, &nz, ijrow.data(), ijcol.data(), dfdy.data(), z, z, z, &lname, z, varnam.data(),
        eqnnam.data(), &idiag, z, z, z, z, z, &ieval1, &ieval2, z, z, &istat);
  set_call_sizes(-1, -1);
  // INT belongs to the block: what a model keeps there persists between calls.
  for (size_t i = 0; i < ints.size(); ++i) ints[i] = intv_[i + 3];
  return istat;
}

int32_t Block::dimension() {
  nf = ny = nz = 0;
  if (call(KODE_DIMEN) != 0) return istat;
  if (ny < 0 || nf < 0 || nz < 0) {
    istat = 1;
    return istat;
  }
  // A block that leaves its pattern to the host's numerical detection
  // reserves its non-zeros instead of counting them.
  int32_t idblk[2];
  text_to_words(id, idblk, 2);
  const int32_t iblk = IU_FIABLK(idblk);
  int32_t reserved = 0;
  U3BLK_INQ_MAXNZ(&iblk, &reserved);
  const size_t n = static_cast<size_t>(ny), m = static_cast<size_t>(nf),
               q = static_cast<size_t>(std::max(nz, reserved));
  for (auto* v : {&y, &ylb, &yub, &yscl, &ysbnd}) v->assign(n, kRmiss);
  f.assign(m, 0.0);
  fscl.assign(m, kRmiss);
  dfdy.assign(q, 0.0);
  iyattr.assign(n, 0);
  ijrow.assign(q, 0);
  ijcol.assign(q, 0);
  const size_t slot = 4 * static_cast<size_t>(lname);
  varnam.assign(n * slot, ' ');
  eqnnam.assign(m * slot, ' ');
  return 0;
}

int32_t Block::prepare() {
  if (dimension() != 0) return istat;
  if (call(KODE_NAMES) != 0) return istat;
  return initialise();
}

int32_t Block::initialise() {
  if (call(KODE_INIT) != 0) return istat;
  // A pattern larger than the arrays was cut short by the host's services.
  if (nz < 0 || static_cast<size_t>(nz) > ijrow.size()) {
    std::fprintf(stderr, "block %s: %d non-zeros exceed the %zu reserved\n", id.c_str(), nz,
                 ijrow.size());
    istat = 1;
  }
  return istat;
}

static std::string slot_text(const std::vector<char>& a, int i, int32_t lname) {
  const size_t slot = 4 * static_cast<size_t>(lname);
  if (i < 1 || static_cast<size_t>(i) * slot > a.size()) return {};
  std::string s(a.data() + static_cast<size_t>(i - 1) * slot, slot);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string Block::var_name(int i) const { return slot_text(varnam, i, lname); }
std::string Block::eqn_name(int i) const { return slot_text(eqnnam, i, lname); }

int Block::find_var(const std::string& name) const {
  for (int i = 1; i <= ny; ++i) {
    const std::string n = var_name(i);
    if (n == name || n == id + "." + name) return i;
  }
  return 0;
}

bool Block::fixed(int i) const { return (iyattr.at(static_cast<size_t>(i - 1)) & 1) != 0; }
void Block::fix(int i) { iyattr.at(static_cast<size_t>(i - 1)) |= 1; }

}  // namespace r3::host
