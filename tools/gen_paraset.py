#!/usr/bin/env python3
"""Writes resources/paraset.sql and resources/PARAMS.INI: the default
parameter rows of device 001, the factory copy per power rating, and the
warning editor's parameter file, all from one table below.

Run from anywhere: python3 tools/gen_paraset.py
The factory tables copy the column list of `paraset` from schema.sql, so
`insert into paraset select * from paraset_<rating>` always lines up.
"""
import math
import pathlib
import re
import subprocess

ROOT = pathlib.Path(__file__).resolve().parent.parent
RESOURCES = ROOT / "resources"

DEFAULT_RATING = "3K"  # the power rating of the default device record
RATINGS = {"1K5": 1500, "2K": 2000, "2K5": 2500, "3K": 3000, "5K": 5000}

# DC input window and maximum input current per rating: small units run
# short strings, the 5 kW unit has two trackers.
DC_VOLTAGE = {"1K5": (100, 450), "2K": (100, 450), "2K5": (120, 500), "3K": (150, 500), "5K": (150, 550)}
DC_CURRENT = {"1K5": 8, "2K": 10, "2K5": 11, "3K": 13, "5K": 22}

FORMAT_ONE = "0.0"
FORMAT_TWO = "0.00"
FORMAT_SIGNED = "#0.0"
FORMAT_LARGE = "###,###,###0.0"


def ac_current_limit(watts):
    # Full power at the lowest allowed grid voltage, 5 % headroom, next 0.5 A.
    return math.ceil(watts / 198 * 1.05 * 2) / 2


def numeric(paraid, code, name, unit, multiple, low, high, part, watched, fmt, enabled=1):
    return dict(id=paraid, code=code, name=name, unit=unit, multiple=multiple, low=low, high=high,
                part=part, watched=watched, fmt=fmt, enabled=enabled, isstring=0, src="", ok="",
                value="0")


def text(paraid, code, name, part, src="", ok="", watched=0, value=""):
    return dict(id=paraid, code=code, name=name, unit="", multiple=1, low=None, high=None,
                part=part, watched=watched, fmt="", enabled=1, isstring=1, src=src, ok=ok,
                value=value)


# Status word bits 0..15 (rows 14..29): code, name, text when set, text when
# clear, watched. Informational bits are not watched.
STATUS_BITS = [
    ("RUN", "运行状态", "运行中", "待机", 0, 2),
    ("DCUV", "直流欠压保护", "直流欠压", "正常", 1, 1),
    ("DCOV", "直流过压保护", "直流过压", "正常", 1, 1),
    ("DCOC", "直流过流保护", "直流过流", "正常", 1, 1),
    ("ISO", "绝缘检测", "绝缘阻抗低", "正常", 1, 1),
    ("GFCI", "漏电流检测", "漏电流超限", "正常", 1, 2),
    ("ACUV", "电网欠压保护", "电网欠压", "正常", 1, 3),
    ("ACOV", "电网过压保护", "电网过压", "正常", 1, 3),
    ("UFRQ", "电网欠频保护", "电网欠频", "正常", 1, 3),
    ("OFRQ", "电网过频保护", "电网过频", "正常", 1, 3),
    ("GRID", "电网连接", "电网断开", "正常", 1, 3),
    ("ACOC", "输出过流保护", "输出过流", "正常", 1, 3),
    ("OTMP", "过温保护", "模块过温", "正常", 1, 2),
    ("FAN", "风扇状态", "风扇故障", "正常", 1, 2),
    ("DRAT", "功率降额", "降额运行", "正常", 0, 2),
    ("HWF", "设备自检", "内部故障", "正常", 1, 2),
]


def rows_for(rating):
    watts = RATINGS[rating]
    vdc_low, vdc_high = DC_VOLTAGE[rating]
    rows = [
        numeric(0, "ADDR", "通讯地址", "", 1, 0, 255, 0, 0, ""),
        text(1, "TIME", "数据时间", 0),
        numeric(2, "VAC", "交流输出电压", "V", 0.1, 198, 253, 3, 1, FORMAT_ONE),
        numeric(3, "IAC", "交流输出电流", "A", 0.01, 0, ac_current_limit(watts), 3, 1, FORMAT_TWO),
        numeric(4, "VDC", "直流输入电压", "V", 0.1, vdc_low, vdc_high, 1, 1, FORMAT_ONE),
        numeric(5, "IDC", "直流输入电流", "A", 0.01, 0, DC_CURRENT[rating], 1, 1, FORMAT_TWO),
        numeric(6, "TMOD", "模块温度", "°C", 0.1, -25, 85, 2, 1, FORMAT_SIGNED),
        numeric(7, "TAMB", "环境温度", "°C", 0.1, -25, 60, 0, 1, FORMAT_SIGNED),
        # Lifetime counter: no warning; the upper end only sizes displays.
        numeric(8, "EKWH", "累计发电量", "kWh", 0.1, 0, 999999, 3, 0, FORMAT_LARGE),
        # Slots 9 and 11..13 are not in the poll reply; kept off until a
        # device reports them.
        numeric(9, "FAC", "交流输出频率", "Hz", 0.01, 49.5, 50.5, 3, 0, FORMAT_TWO, enabled=0),
        numeric(10, "STAT", "状态字", "", 1, 0, 65535, 2, 0, ""),
        numeric(11, "PAC", "交流输出功率", "W", 1, 0, round(watts * 1.1), 3, 0, FORMAT_LARGE, enabled=0),
        numeric(12, "EDAY", "当日发电量", "kWh", 0.1, 0, watts * 10 // 1000, 3, 0, FORMAT_ONE, enabled=0),
        numeric(13, "RUNH", "累计运行时间", "h", 1, 0, 999999, 0, 0, FORMAT_LARGE, enabled=0),
    ]
    for bit, (code, name, src, ok, watched, part) in enumerate(STATUS_BITS):
        rows.append(text(14 + bit, code, name, part, src, ok, watched, value=ok))
    assert [r["id"] for r in rows] == list(range(30))
    return rows


def sql_number(x):
    if x is None:
        return "null"
    if float(x).is_integer():
        return str(int(x))
    return repr(float(x))


def sql_text(s):
    return "'" + s.replace("'", "''") + "'"


def sql_tuple(r):
    values = [
        "'001'", str(r["id"]), sql_text(r["code"]), sql_text(r["name"]), str(r["enabled"]),
        sql_text(r["value"]), sql_number(r["multiple"]), sql_text(r["unit"]),
        sql_number(r["low"]), sql_number(r["high"]),  # RANGEL, RANGEU
        sql_number(r["low"]), sql_number(r["high"]),  # BOUNDL, BOUNDU
        str(r["isstring"]), sql_text(r["src"]), sql_text(r["ok"]),
        "0", str(r["part"]), str(r["watched"]), "0", "null", "''", sql_text(r["fmt"]),
    ]
    return "(" + ", ".join(values) + ")"


def paraset_columns():
    schema = (RESOURCES / "schema.sql").read_text(encoding="utf-8")
    m = re.search(r"create table paraset \((.*?)\n\);", schema, re.S)
    return m.group(1).strip("\n")


def insert(table, rows):
    names = [line.strip().split()[0] for line in paraset_columns().splitlines()]
    head = f"insert into {table} ({', '.join(names)}) values\n"
    return head + ",\n".join("  " + sql_tuple(r) for r in rows) + ";\n"


def write_sql():
    columns = paraset_columns()
    out = [
        "-- Default parameter rows of device 001 (a 3 kW single-phase grid-tie PV\n"
        "-- inverter) and the factory copy per power rating.\n"
        "-- Generated by tools/gen_paraset.py: change the generator, then rerun it.\n",
        insert("paraset", rows_for(DEFAULT_RATING)),
    ]
    for rating in RATINGS:
        table = f"paraset_{rating}"
        out.append(f"create table {table} (\n{columns}\n);\n")
        if rating == DEFAULT_RATING:
            out.append(f"insert into {table} select * from paraset;\n")
        else:
            out.append(insert(table, rows_for(rating)))
    (RESOURCES / "paraset.sql").write_text("\n".join(out), encoding="utf-8")


def ini_number(x):
    return "" if x is None else sql_number(x)


def write_params_ini():
    lines = [
        "Vantoro 参数文件 (告警设置)",
        "序号,启用,名称,单位,上下限固定,告警下限,告警上限,编码,倍数,格式,告警",
    ]
    for r in rows_for(DEFAULT_RATING):
        # Only measured quantities have editable bounds; the address, the raw
        # status word and the text rows keep theirs fixed.
        fixed = "1" if r["isstring"] or r["code"] in ("ADDR", "STAT") else "0"
        fmt = FORMAT_SIGNED if "," in r["fmt"] else r["fmt"]  # fields are split at commas
        fields = [str(r["id"]), str(r["enabled"]), r["name"], r["unit"], fixed,
                  ini_number(r["low"]), ini_number(r["high"]), r["code"],
                  sql_number(r["multiple"]), fmt, str(r["watched"])]
        assert all("," not in f for f in fields)
        lines.append(",".join(fields))
    utf8 = "".join(line + "\r\n" for line in lines).encode("utf-8")
    gbk = subprocess.run(["iconv", "-f", "UTF-8", "-t", "GBK"], input=utf8, check=True,
                         capture_output=True).stdout
    (RESOURCES / "PARAMS.INI").write_bytes(gbk)


if __name__ == "__main__":
    write_sql()
    write_params_ini()
