#!/usr/bin/python3
"""The bus voltage, branch current and branch-end reports of one calculated case, written
with pandas and numpy alone: every item, per unit, every fault point, GB18030 bytes, CR LF
line ends. Its file is byte for byte screport's rep_txt.txt of a batch run with

    --reports busvol,linecur,viz --faults all --items busvol=all --items linecur=all
    --items viz=all --units pu --format txt

so it checks our numbers independently and is the yardstick of bench/bench_vs_pandas.

    bench/pandas_reference.py DATABASE CASE_NO OUTPUT      (SQLite case database)

Quantities and cells are computed a whole chunk of rows at a time. Every number is
formatted from its digits straight into a byte matrix; a row the matrix cannot hold
exactly (a text wider than its field, NaN, a rounding too close to call after numpy's
vectorised atan2) is formatted again with Python's exact printf rounding.

Interpreter: Debian's python3 with python3-pandas and python3-numpy
(scripts/install-deps --bench).
"""
import math
import pathlib
import sqlite3
import sys

import numpy as np
import pandas as pd

ENC = "gb18030"
CRLF = b"\r\n"
DEG = 57.29577951308232
ROT = (math.cos(2.0943951023931953), math.sin(2.0943951023931953))
DBL_MIN = np.finfo(np.float64).tiny
CHUNK_ROWS = 40000  # rows per matrix: numpy's cost per call vanishes, memory stays flat


def gb(s):
    return s.encode(ENC)


# ---------------------------------------------------------------------------------------
# Complex arithmetic on (real, imaginary) float arrays, operation by operation as the
# C++ build does it, so that every rounding is the same.


def cmul(a, b, c, d):
    return a * c - b * d, a * d + b * c


def cdiv(a, b, c, d):
    """(a+jb)/(c+jd) as libgcc's __divdc3 (Smith's method, divisions, not a reciprocal);
    a complex zero divisor gives NaN in both parts, as scq::div."""
    with np.errstate(all="ignore"):
        r1 = c / d
        den1 = c * r1 + d
        ok1 = np.abs(r1) > DBL_MIN
        x1 = np.where(ok1, (a * r1 + b) / den1, (c * (a / d) + b) / den1)
        y1 = np.where(ok1, (b * r1 - a) / den1, (c * (b / d) - a) / den1)
        r2 = d / c
        den2 = d * r2 + c
        ok2 = np.abs(r2) > DBL_MIN
        x2 = np.where(ok2, (b * r2 + a) / den2, (a + d * (b / c)) / den2)
        y2 = np.where(ok2, (b - a * r2) / den2, (b - d * (a / c)) / den2)
    first = np.abs(c) < np.abs(d)
    zero = (c == 0) & (d == 0)
    x = np.where(first, x1, x2)
    y = np.where(first, y1, y2)
    x[zero] = np.nan
    y[zero] = np.nan
    return x, y


def phases(s1, s2, s0):
    """A, B, C from sequence values: A = (s0+s1)+s2, B = (s0+(s1·a)·a)+s2·a,
    C = (s0+s1·a)+(s2·a)·a."""
    ar, ai = ROT
    s1a = cmul(s1[0], s1[1], ar, ai)
    s2a = cmul(s2[0], s2[1], ar, ai)
    s1aa = cmul(s1a[0], s1a[1], ar, ai)
    s2aa = cmul(s2a[0], s2a[1], ar, ai)
    pa = ((s0[0] + s1[0]) + s2[0], (s0[1] + s1[1]) + s2[1])
    pb = ((s0[0] + s1aa[0]) + s2a[0], (s0[1] + s1aa[1]) + s2a[1])
    pc = ((s0[0] + s1a[0]) + s2aa[0], (s0[1] + s1a[1]) + s2aa[1])
    return pa, pb, pc


def degrees_fast(re, im):
    """Angles in [0, 360) with numpy's vectorised atan2, and where they are certainly the C
    library's: a real axis value is exact, elsewhere only the last bit may differ, which
    matters next to the 0/360 seam (a rounding too close to call is caught later)."""
    with np.errstate(invalid="ignore"):
        phi = np.arctan2(im, re)
        axis = im == 0
        left = (re < 0) | ((re == 0) & np.signbit(re))
        phi = np.where(axis, np.copysign(np.where(left, math.pi, 0.0), im), phi)
        phi = np.where(np.isnan(re) | np.isnan(im), np.nan, phi) * DEG
        sure = axis | (np.abs(phi) > 1e-7)
        phi = np.where(phi < 0, phi + 360.0, phi)
    return phi + 0.0, sure


def degrees_exact(re, im):
    """math.atan2 is the C library's: numpy's vectorised one may differ in the last bit."""
    phi = math.atan2(im, re) * DEG
    if phi < 0:
        phi += 360.0
    return phi + 0.0


# ---------------------------------------------------------------------------------------
# Cells into a byte matrix: one row per line, TAB, right-aligned fields, CR LF.


def fixed_digits(v, d):
    """Rounded integer of v·10^d where that is certainly printf's rounding, and whether it is."""
    with np.errstate(invalid="ignore", over="ignore"):
        q = v * float(10**d)
        frac = q - np.floor(q)
        ok = np.isfinite(q) & (v >= 0) & (q < 1e9) & (np.abs(frac - 0.5) > 1e-7)
    n = np.where(ok, np.rint(np.where(ok, q, 0.0)), 0.0).astype(np.int64)
    return n, ok


def digit_chars(n, count):
    """The last `count` decimal digits of n as ASCII columns, least significant first."""
    out = []
    for _ in range(count):
        q = n // 10
        out.append((n - q * 10).astype(np.uint8) + 48)
        n = q
    return out


def int_len(ip):
    """Digits of the whole part (at least one)."""
    nd = np.ones(ip.shape, np.int64)
    t = ip // 10
    while t.any():
        nd += t > 0
        t //= 10
    return nd


def number_text(n, d, width):
    """Right-aligned fixed-point texts of n·10^-d: columns from the right, and lengths."""
    p = 10**d
    ip = n // p
    nd = int_len(ip)
    length = nd + 1 + d
    top = min(int(length.max(initial=0)), width)
    cols = digit_chars(n, d)
    cols.append(np.full(n.shape, 46, np.uint8))
    idig = digit_chars(ip, max(top - d - 1, 0))
    for k, c in enumerate(idig):
        cols.append(np.where(k < nd, c, np.uint8(32)))
    return cols[:top], length


class Matrix:
    """Rows of fixed-width fields built column by column (position-major, so every write
    is contiguous); rows marked slow are formatted again one by one."""

    def __init__(self, rows, widths):
        self.widths = widths
        self.starts = np.concatenate(([1], 1 + np.cumsum(widths)[:-1])).astype(int)
        self.length = 1 + sum(widths) + 2
        self.buf = np.full((self.length, rows), 32, np.uint8)
        self.buf[0] = 9
        self.buf[-2] = 13
        self.buf[-1] = 10
        self.slow = np.zeros(rows, bool)
        self.rows = None

    def put(self, col, from_right):
        end = self.starts[col] + self.widths[col] - 1
        for k, c in enumerate(from_right):
            self.buf[end - k] = c

    def field(self, col, table, rows):
        """Precomputed fields: row r of the matrix gets entry rows[r] of a field_table."""
        s = self.starts[col]
        self.buf[s:s + self.widths[col]] = table[0][rows].T
        self.slow |= table[1][rows]

    def number(self, col, v, d, sure=True):
        n, ok = fixed_digits(v, d)
        cols, length = number_text(n, d, self.widths[col])
        self.slow |= ~(ok & sure) | (length > self.widths[col])
        self.put(col, cols)

    def complex(self, col, mag, deg, fixed_mask=None, fixed_text=b""):
        """Magnitude with 4 decimals, " / ", angle with 2; `fixed_text` where fixed_mask.
        `deg` is the pair of degrees_fast."""
        deg, sure = deg
        w = self.widths[col]
        nm, okm = fixed_digits(mag, 4)
        na, oka = fixed_digits(deg, 2)
        oka &= sure
        ipa = na // 100
        la = int_len(ipa) + 3
        mcols, lm = number_text(nm, 4, w - 7)
        acols = digit_chars(na, 2) + [np.full(na.shape, 46, np.uint8)] + digit_chars(ipa, 3)
        total = lm + 3 + la
        ok = okm & oka & (total <= w)
        if fixed_mask is not None:
            ok |= fixed_mask
            total = np.where(fixed_mask, len(fixed_text), total)
        self.slow |= ~ok
        top = min(int(total.max(initial=0)), w)
        sep = (32, 47, 32)
        is4, is5 = la == 4, la == 5
        blank = np.uint8(32)
        out = []
        for k in range(top):
            opts = []
            for lay in (4, 5, 6):
                if k < lay:
                    opts.append(acols[k])
                elif k < lay + 3:
                    opts.append(np.uint8(sep[k - lay]))
                elif k - lay - 3 < len(mcols):
                    opts.append(mcols[k - lay - 3])
                else:
                    opts.append(blank)
            c = np.where(is4, opts[0], np.where(is5, opts[1], opts[2]))
            if fixed_mask is not None:
                ch = fixed_text[-1 - k] if k < len(fixed_text) else 32
                c = np.where(fixed_mask, np.uint8(ch), c)
            out.append(c)
        self.put(col, out)

    def write(self, out, a, b, slow_line):
        """Rows a..b, each slow one made again by slow_line(i)."""
        if self.rows is None:
            self.rows = np.ascontiguousarray(self.buf.T)
            self.buf = None
        pos = a
        for i in np.flatnonzero(self.slow[a:b]) + a:
            if i > pos:
                out.write(self.rows[pos:i].tobytes())
            out.write(slow_line(i))
            pos = i + 1
        if b > pos:
            out.write(self.rows[pos:b].tobytes())


def rjust(text, width):
    return text.rjust(width) if len(text) < width else text


def fmt(v, d):
    return b"%.*f" % (d, v)


class Page:
    """One page: its titles, the group heading and the column headers."""

    def __init__(self, titles, grp_title, grp_width, headers):
        self.titles = titles
        self.grp_title = grp_title
        self.grp_width = grp_width
        self.headers = headers  # (text, width)
        self.widths = [w for _, w in headers]

    def head(self, out):
        for t in self.titles:
            out.write(b"\t" + t + CRLF + CRLF)
        line = b"\t" + b"".join(rjust(t, w) for t, w in self.headers) + CRLF
        under = b"\t" + b"".join(b" " * max(w - len(t), 0) + b"-" * len(t) for t, w in self.headers)
        self.header_lines = line + under + CRLF

    def group(self, out, name):
        out.write(b"\t" + rjust(self.grp_title, self.grp_width) + CRLF)
        out.write(b"\t" + rjust(name, self.grp_width) + CRLF + CRLF)
        out.write(self.header_lines)


def seq_cells(m, first, comps):
    """Magnitude (4 decimals) and angle (2 decimals) of each component, from column `first`."""
    for k, (re, im) in enumerate(comps):
        m.number(first + 2 * k, np.hypot(re, im), 4)
        deg, sure = degrees_fast(re, im)
        m.number(first + 2 * k + 1, deg, 2, sure)


def seq_line(ids, widths, comps, i, taint):
    """The same cells as seq_cells, one row, with exact rounding."""
    cells = list(ids)
    for re, im in comps:
        mag = float(np.hypot(re[i], im[i]))
        ang = degrees_exact(float(re[i]), float(im[i]))
        for v, d in ((mag, 4), (ang, 2)):
            cells.append(b"" if taint and math.isnan(v) else fmt(v, d))
    return b"\t" + b"".join(rjust(c, w) for c, w in zip(cells, widths)) + CRLF


# ---------------------------------------------------------------------------------------
# Reading the case


def numbers(s, positive=False):
    """A stored column as numbers; NULL, text that is no number, infinities (and with
    `positive` values <= 0) become NaN, as the program's reader treats them."""
    if s.dtype == object:
        s = s.map(lambda x: x.strip() if isinstance(x, str) else x)
    v = pd.to_numeric(s, errors="coerce").to_numpy(np.float64, na_value=np.nan)
    v = np.where(np.isfinite(v), v, np.nan)
    if positive:
        v = np.where(v > 0, v, np.nan)
    return v


def whole(s):
    """Whole numbers in int range; NaN where the stored value is none."""
    v = numbers(s)
    ok = (v == np.floor(v)) & (v >= -2147483648.0) & (v <= 2147483647.0)
    return np.where(ok, v, np.nan)


def text8(x):
    """A stored value as text, as the program shows a key part."""
    if x is None:
        return ""
    if isinstance(x, float):
        if math.isfinite(x) and x == math.floor(x) and abs(x) < 1e15:
            return str(int(x))
        return "%.15g" % x
    if isinstance(x, bytes):
        return x.decode("utf-8", "replace")
    return str(x)


def field_table(texts, width):
    """Right-aligned fields of `texts` as an (n, width) byte table, and which are wider."""
    wide = np.array([len(t) > width for t in texts], bool)
    joined = b"".join(b" " * width if len(t) > width else t.rjust(width) for t in texts)
    return np.frombuffer(joined, np.uint8).reshape(len(texts), width), wide


def name_text(s):
    """A name column as text: a name stored as a number reads as the program shows it."""
    return s if pd.api.types.infer_dtype(s, skipna=True) == "string" else s.map(text8)


class Names:
    """Every name as a code whose order is the GB18030 byte order."""

    def __init__(self, *columns):
        uniq = pd.unique(pd.concat([pd.Series(c, dtype=object) for c in columns], ignore_index=True))
        enc = sorted((gb(u), u) for u in uniq)
        self.bytes = [e for e, _ in enc]
        self.code = {u: k for k, (_, u) in enumerate(enc)}
        self.tables = {}

    def codes(self, s):
        c, u = pd.factorize(s)
        return np.array([self.code[x] for x in u], np.int64)[c] if len(u) else c.astype(np.int64)

    def table(self, width):
        if width not in self.tables:
            self.tables[width] = field_table(self.bytes, width)
        return self.tables[width]


class Case:
    def __init__(self, path, case_no):
        con = sqlite3.connect(pathlib.Path(path).absolute().as_uri() + "?mode=ro", uri=True)
        q = lambda sql: pd.read_sql_query(sql, con, params=(case_no,))
        faults = q("select ID_Name,I_Name,J_Name,Percent from SCR_R120 where flg =1 and Case_No=? order by T")
        r120 = q("select I_Name,J_Name,ID_Name,Percent,T,IR1,II1,IR2,II2,IR0,II0 from SCR_R120 "
                 "where flg =1 and CASE_NO=?")
        b120 = q("select bus_Name,T,VR1,VI1,VR2,VI2,VR0,VI0 from SCR_B120 where Case_No=?")
        line1 = q("select I_Name,J_Name,ID_No,R1,X1,B1_half,Tk,Type from SCR_LINE1 where CASE_NO=? "
                  "ORDER BY I_NAME,J_NAME,ID_NO")
        line0 = q("select I_Name,J_Name,ID_No,R0,X0 from SCR_LINE0 where CASE_NO=?")
        con.close()

        # Fault points: the last good row of a key counts.
        r120 = r120[r120.I_Name.notna() & r120.J_Name.notna()]
        r120 = r120.assign(I_Name=name_text(r120.I_Name), J_Name=name_text(r120.J_Name))
        key = np.where(r120.I_Name == r120.J_Name, r120.I_Name,
                       [text8(a) + "_" + text8(b) for a, b in zip(r120.ID_Name, r120.Percent)])
        r120 = r120.assign(key=key, T=whole(r120["T"]))
        r120 = r120[r120["T"].notna()].drop_duplicates("key", keep="last")
        # Voltages of a bus at a fault: the last row of a bus and fault number counts.
        b120 = b120[b120.bus_Name.notna()]
        b120 = b120.assign(bus_Name=name_text(b120.bus_Name), T=whole(b120["T"]))
        b120 = b120[b120["T"].notna()].drop_duplicates(["bus_Name", "T"], keep="last")
        # A fault without any voltage cannot be reported on.
        r120 = r120[r120["T"].isin(b120["T"].unique())]

        line1 = line1[line1.I_Name.notna() & line1.J_Name.notna()].assign(ID_No=whole(line1.ID_No))
        line1 = line1[line1.ID_No.notna()]
        line0 = line0[line0.I_Name.notna() & line0.J_Name.notna()].assign(ID_No=whole(line0.ID_No))
        line0 = line0[line0.ID_No.notna()]
        line1 = line1.assign(I_Name=name_text(line1.I_Name), J_Name=name_text(line1.J_Name))
        line0 = line0.assign(I_Name=name_text(line0.I_Name), J_Name=name_text(line0.J_Name))
        self.names = nm = Names(b120.bus_Name, line1.I_Name, line1.J_Name, line0.I_Name, line0.J_Name,
                                r120.key)

        # The fault list of "--faults all", without the points the case cannot report on.
        keys = [a if a == b else text8(c) + "_" + text8(p)
                for c, a, b, p in zip(faults.ID_Name, faults.I_Name.map(text8), faults.J_Name.map(text8),
                                      faults.Percent)]
        byKey = r120.set_index("key")
        self.faults = [k for k in keys if k in byKey.index]
        if not self.faults:
            raise SystemExit("no fault point of case %s has results" % case_no)
        fr = byKey.loc[self.faults]
        self.fault_T = fr["T"].to_numpy(np.int64)
        self.fault_I = [(numbers(fr[r]), numbers(fr[i])) for r, i in (("IR1", "II1"), ("IR2", "II2"), ("IR0", "II0"))]
        self.fault_code = np.array([nm.code[k] for k in self.faults], np.int64)

        # Bus voltages: row of (bus, fault column) in a dense index; the extra row is NaN.
        self.Ts, tcol = np.unique(self.fault_T, return_inverse=True)
        self.fault_tcol = tcol
        bt = b120["T"].to_numpy(np.int64)
        sel = np.isin(bt, self.Ts)
        b120 = b120[sel]
        bus = nm.codes(b120.bus_Name)
        self.V = [(numbers(b120[r]), numbers(b120[i])) for r, i in (("VR1", "VI1"), ("VR2", "VI2"), ("VR0", "VI0"))]
        self.V = [(np.append(re, np.nan), np.append(im, np.nan)) for re, im in self.V]
        nrows = len(b120)
        self.vidx = np.full((len(nm.bytes), len(self.Ts)), nrows, np.int64)
        self.vidx[bus, np.searchsorted(self.Ts, bt[sel])] = np.arange(nrows)

        # Branches in GB18030 order of (I, J, number); stable, as the rows came.
        i1, j1 = nm.codes(line1.I_Name), nm.codes(line1.J_Name)
        id1 = line1.ID_No.to_numpy(np.int64)
        order = np.lexsort((id1, j1, i1))
        self.bi, self.bj, self.bid = i1[order], j1[order], id1[order]
        cols = {c: numbers(line1[c], positive=(c == "Tk"))[order] for c in ("R1", "X1", "B1_half", "Tk")}
        self.z1 = (cols["R1"], cols["X1"])
        self.b1 = cols["B1_half"]
        self.tk = cols["Tk"]
        z0 = pd.DataFrame({"i": nm.codes(line0.I_Name), "j": nm.codes(line0.J_Name),
                           "id": line0.ID_No.to_numpy(np.int64), "r": numbers(line0.R0), "x": numbers(line0.X0)})
        z0 = z0.drop_duplicates(["i", "j", "id"], keep="last")
        br = pd.DataFrame({"i": self.bi, "j": self.bj, "id": self.bid}).merge(z0, how="left", on=["i", "j", "id"],
                                                                               indicator=True)
        self.has_z0 = (br["_merge"] == "both").to_numpy()
        self.z0 = (br.r.to_numpy(np.float64), br.x.to_numpy(np.float64))
        self.ground = self.bi == self.bj
        self.id_table = None

    def volts(self, bus, tcol):
        rows = self.vidx[bus, tcol]
        return [(re[rows], im[rows]) for re, im in self.V]

    def branch_at(self, groups):
        """Voltages at both ends and end currents of every branch for each fault of
        `groups` (fault positions), branch-major within a fault."""
        nb = len(self.bi)
        tcol = np.repeat(self.fault_tcol[groups], nb)
        k = np.tile(np.arange(nb), len(groups))
        vi = self.volts(self.bi[k], tcol)
        vj = self.volts(self.bj[k], tcol)
        z1 = (self.z1[0][k], self.z1[1][k])
        b1, tk, ground, hz0 = self.b1[k], self.tk[k], self.ground[k], self.has_z0[k]
        z0 = (self.z0[0][k], self.z0[1][k])
        zero = np.zeros(len(k))

        def sub(x, y):
            return x[0] - y[0], x[1] - y[1]

        def add(x, y):
            return x[0] + y[0], x[1] + y[1]

        def over_tk(x):
            return x[0] / tk, x[1] / tk

        def ydot(v):
            return cmul(zero, b1, v[0], v[1])

        def pick(cond, x, y):
            return np.where(cond, x[0], y[0]), np.where(cond, x[1], y[1])

        with np.errstate(all="ignore"):
            cur = {}
            for s in (0, 1):  # positive, negative sequence: both see Z1 and the charging
                g = cdiv(vi[s][0], vi[s][1], *z1)
                ii = add(cdiv(*sub(vi[s], over_tk(vj[s])), *z1), ydot(vi[s]))
                ij = over_tk(sub(cdiv(*sub(vi[s], vj[s]), *z1), ydot(vj[s])))
                cur[s] = (pick(ground, g, ii), pick(ground, g, ij))
            v0 = pick(ground, vi[2], sub(vi[2], vj[2]))
            i0 = cdiv(v0[0], v0[1], *z0)
            i0 = (np.where(hz0, i0[0], 0.0), np.where(hz0, i0[1], 0.0))
        bad = np.zeros(len(k), bool)
        for x in vi + vj + [z1, (np.where(hz0, z0[0], 0.0), np.where(hz0, z0[1], 0.0))]:
            bad |= np.isnan(x[0]) | np.isnan(x[1])
        bad |= np.isnan(b1) | np.isnan(tk)
        ends_i = [cur[0][0], cur[1][0], i0]
        ends_j = [cur[0][1], cur[1][1], i0]
        return k, vi, vj, ends_i, ends_j, bad


# ---------------------------------------------------------------------------------------
# The three pages

BUSVOL_LABELS = ["正序电压幅值", "正序电压相角", "负序电压幅值", "负序电压相角", "零序电压幅值", "零序电压相角",
                 "A相电压幅值", "A相电压相角", "B相电压幅值", "B相电压相角", "C相电压幅值", "C相电压相角"]
LINECUR_LABELS = [s.replace("电压", "电流") for s in BUSVOL_LABELS]
VIZ_LABELS = ["正序电压", "正序电流", "正序阻抗", "负序电压", "负序电流", "负序阻抗", "零序序电压", "零序电流",
              "零序阻抗", "A相电压", "A相电流", "A相阻抗", "B相电压", "B相电流", "B相阻抗", "C相电压",
              "C相电流", "C相阻抗"]


def chunks(n_groups, rows_per_group):
    step = max(1, CHUNK_ROWS // max(rows_per_group, 1))
    for a in range(0, n_groups, step):
        yield list(range(a, min(a + step, n_groups)))


def with_phases(seq):
    return list(seq) + list(phases(*seq))


def bus_voltages(case, out):
    nm = case.names
    page = Page([gb("母线电压结果报告"), gb("单位：p.u.")], gb("故障母线"), 10,
                [(gb("母线名"), 20)] + [(gb(s), 18) for s in BUSVOL_LABELS])
    page.head(out)
    for groups in chunks(len(case.faults), len(nm.bytes)):
        # Rows of a fault: every bus (in name order) that has voltages at its T.
        sel = [np.flatnonzero(case.vidx[:, case.fault_tcol[g]] < len(case.V[0][0]) - 1) for g in groups]
        bus = np.concatenate(sel)
        tcol = np.concatenate([np.full(len(s), case.fault_tcol[g]) for s, g in zip(sel, groups)])
        comps = with_phases(case.volts(bus, tcol))
        m = Matrix(len(bus), page.widths)
        m.field(0, nm.table(20), bus)
        seq_cells(m, 1, comps)
        slow_line = lambda i: seq_line([nm.bytes[bus[i]]], page.widths, comps, i, True)
        a = 0
        for s, g in zip(sel, groups):
            page.group(out, nm.bytes[case.fault_code[g]])
            m.write(out, a, a + len(s), slow_line)
            a += len(s)
            out.write(CRLF)
    out.write(CRLF + CRLF)


def branch_ids(case, k, m, widths):
    """I side, J side and number fields of branch rows k."""
    m.field(0, case.names.table(widths[0]), case.bi[k])
    m.field(1, case.names.table(widths[1]), case.bj[k])
    if case.id_table is None:
        case.id_table = field_table([b"%d" % x for x in case.bid], widths[2])
    m.field(2, case.id_table, k)


def branch_currents(case, out):
    nm = case.names
    page = Page([gb("支路电流结果报告"), gb("单位：p.u.")], gb("故障母线"), 10,
                [(gb("I侧母线"), 18), (gb("J侧母线"), 18), (gb("支路号"), 16)] +
                [(gb(s), 16) for s in LINECUR_LABELS])
    page.head(out)
    w = page.widths
    nb = len(case.bi)
    # The fault point's own rows, one per fault: its currents, always checked.
    fcomps = with_phases(case.fault_I)
    fault_line = lambda g: seq_line([nm.bytes[case.fault_code[g]]] * 2 + [b"0"], w, fcomps, g, True)
    for groups in chunks(len(case.faults), nb):
        k, _, _, ends_i, _, bad = case.branch_at(groups)
        comps = with_phases(ends_i)
        m = Matrix(len(k), w)
        branch_ids(case, k, m, w)
        seq_cells(m, 3, comps)
        m.slow |= bad  # NaN cells of a row with a bad stored value stay empty
        ids = lambda i: [nm.bytes[case.bi[k[i]]], nm.bytes[case.bj[k[i]]], b"%d" % case.bid[k[i]]]
        slow_line = lambda i: seq_line(ids(i), w, comps, i, bad[i])
        for n, g in enumerate(groups):
            page.group(out, nm.bytes[case.fault_code[g]])
            out.write(fault_line(g))
            m.write(out, n * nb, (n + 1) * nb, slow_line)
            out.write(CRLF)
    out.write(CRLF + CRLF)


def branch_ends(case, out):
    nm = case.names
    heads = [(gb("I侧母线"), 18), (gb("J侧母线"), 18), (gb("支路号"), 16)]
    for s in VIZ_LABELS:
        heads += [(gb("I侧" + s), 20), (gb("J侧" + s), 20)]
    page = Page([gb("支路两端的电压、电流和视在阻抗结果报告"),
                 gb("单位：电压幅值（p.u.） 电流幅值（p.u.） 阻抗幅值（p.u.） 角度（deg.）")],
                gb("故障母线"), 18, heads)
    page.head(out)
    w = page.widths
    nb = len(case.bi)
    for groups in chunks(len(case.faults), nb):
        k, vi, vj, ends_i, ends_j, bad = case.branch_at(groups)
        v = [with_phases(vi), with_phases(vj)]
        cur = [with_phases(ends_i), with_phases(ends_j)]
        m = Matrix(len(k), w)
        branch_ids(case, k, m, w)
        cells = []  # (re, im, small-current mask, its text)
        for c in range(6):
            # Below 0.001 p.u. of current the apparent impedance is a fixed text.
            none = b"10000.0000 / 0.00" if c in (1, 2) else b"0 / 0"
            for end in (0, 1):
                cells.append((v[end][c], None, b""))
            for end in (0, 1):
                cells.append((cur[end][c], None, b""))
            for end in (0, 1):
                i = cur[end][c]
                small = np.hypot(*i) < 0.001
                cells.append((cdiv(*v[end][c], *i), small, none))
        for n, (z, small, none) in enumerate(cells):
            m.complex(3 + n, np.hypot(*z), degrees_fast(*z), small, none)
        m.slow |= bad

        def slow_line(r):
            texts = [nm.bytes[case.bi[k[r]]], nm.bytes[case.bj[k[r]]], b"%d" % case.bid[k[r]]]
            for (re, im), small, none in cells:
                x, y = float(re[r]), float(im[r])
                if small is not None and small[r]:
                    texts.append(none)
                elif bad[r] and (math.isnan(x) or math.isnan(y)):
                    texts.append(b"")
                else:
                    texts.append(fmt(float(np.hypot(x, y)), 4) + b" / " + fmt(degrees_exact(x, y), 2))
            return b"\t" + b"".join(rjust(t, wd) for t, wd in zip(texts, w)) + CRLF

        for n, g in enumerate(groups):
            page.group(out, nm.bytes[case.fault_code[g]])
            m.write(out, n * nb, (n + 1) * nb, slow_line)
            out.write(CRLF)
    out.write(CRLF + CRLF)


def main(argv):
    if len(argv) != 4:
        sys.stderr.write(__doc__)
        return 2
    case = Case(argv[1], int(argv[2]))
    with open(argv[3], "wb", buffering=1 << 20) as out:
        bus_voltages(case, out)
        branch_currents(case, out)
        branch_ends(case, out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
