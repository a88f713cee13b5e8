#!/usr/bin/python3
"""The simulated meter and supply as a client we did not write sees them:
Debian's pyvisa with its pure-Python backend, over a raw socket
(TCPIP::...::SOCKET) and a serial line (ASRL...::INSTR), sending what
instrument scripts send and expecting what real instruments answer.

usage: pyvisa_clients.py SIMULATOR_PROGRAM
"""
import re
import subprocess
import sys
import time
import unittest

import pyvisa

SIMULATOR = None
benches = {}


class Bench:
    """pellmora-board-simulator with a meter of one dialect, on a socket and
    a serial line, and a supply that powers the board."""

    def __init__(self, dialect):
        self.process = subprocess.Popen(
            [SIMULATOR, "--meter", "0", "--meter-dialect", dialect, "--meter-serial", "--supply-unit", "0"],
            stdout=subprocess.PIPE, text=True)
        printed = {}
        while not {"meter", "meter-serial", "supply"} <= printed.keys():
            line = self.process.stdout.readline()
            if not line:
                raise RuntimeError("the simulator ended before printing its addresses")
            key, _, value = line.strip().partition(" ")
            printed[key] = value
        self.manager = pyvisa.ResourceManager("@py")
        self.meter_tcp = self.open("TCPIP::127.0.0.1::%s::SOCKET" % printed["meter"].split(":")[1], "\n")
        self.meter_serial = self.open("ASRL%s::INSTR" % printed["meter-serial"], "\r\n")
        self.supply = self.open("TCPIP::127.0.0.1::%s::SOCKET" % printed["supply"].split(":")[1], "\n")

    def open(self, name, read_termination):
        instrument = self.manager.open_resource(name, read_termination=read_termination, write_termination="\n")
        instrument.timeout = 3000
        return instrument

    def meters(self):
        return (("tcp", self.meter_tcp), ("serial", self.meter_serial))

    def close(self):
        for instrument in (self.meter_tcp, self.meter_serial, self.supply):
            instrument.close()
        self.manager.close()
        self.process.terminate()
        self.process.wait(10)
        self.process.stdout.close()


def setUpModule():
    for dialect in ("conf", "sense", "function"):
        benches[dialect] = Bench(dialect)
    for bench in benches.values():
        bench.supply.query("*RST;VOLT 3.3;OUTP ON;*OPC?")


def tearDownModule():
    for bench in benches.values():
        bench.close()


def no_answer(instrument, query, milliseconds=400):
    """True when a query gets no response at all."""
    instrument.timeout = milliseconds
    try:
        instrument.query(query)
        return False
    except pyvisa.errors.VisaIOError as error:
        return error.error_code == pyvisa.constants.StatusCode.error_timeout
    finally:
        instrument.timeout = 3000


def until_it_listens(meter):
    """A meter that switched its front end takes nothing meanwhile: asks until it answers."""
    for _ in range(5):
        if not no_answer(meter, "*OPC?", 1000):
            return
    raise AssertionError("the meter never listened again")


def errors_of(instrument):
    """The error queue, read until it says no error."""
    found = []
    while True:
        code, _, text = instrument.query("SYST:ERR?").partition(",")
        if int(code) == 0:
            return found
        found.append((int(code), text))


class MeterTestCase(unittest.TestCase):
    def each_meter(self):
        for port, meter in benches["conf"].meters():
            with self.subTest(port=port):
                meter.write("*RST;*CLS")
                yield meter


class CommandsOfAnInstrumentScript(MeterTestCase):
    """What a typical measurement script sends, in short and long forms,
    any case, compound or not, is taken without an error."""

    def test_common_commands(self):
        for meter in self.each_meter():
            self.assertEqual(len(meter.query("*IDN?").split(",")), 4)
            self.assertEqual(meter.query("*OPC?"), "1")
            self.assertEqual(meter.query("*TST?"), "0")
            meter.write("*ESE 60;*SRE 32")
            self.assertEqual((meter.query("*ESE?"), meter.query("*SRE?")), ("60", "32"))
            meter.write("*OPC;*WAI")
            self.assertEqual(int(meter.query("*ESR?")) & 1, 1)
            self.assertEqual(meter.query("*ESR?"), "0")
            self.assertEqual(errors_of(meter), [])

    def test_headers_in_every_spelling(self):
        spellings = ["CONF:CURR:DC", "CONFigure:CURRent:DC", "conf:curr:dc", ":CONF:CURR:DC", "Configure:Current",
                     "SENS:CURR:DC:RANG:AUTO ON", "CURRent:DC:RANGe:AUTO 1", "sense:current:nplcycles 1",
                     "CURR:RANG:UPP 0.01", "SAMPle:COUNt 2", "TRIGger:SOURce IMMediate", "SYST:REM", "SYSTem:LOCal"]
        for meter in self.each_meter():
            for command in spellings:
                meter.write(command)
            self.assertEqual(errors_of(meter), [])

    def test_compound_messages(self):
        for meter in self.each_meter():
            # ";:" returns to the root, ";" stays below the last header's path.
            meter.write("CONF:CURR:DC;:SAMP:COUN 2")
            self.assertEqual(meter.query("SAMP:COUN?"), "2")
            meter.write("SENS:CURR:DC:NPLC 1;RANG:AUTO OFF")
            self.assertEqual(meter.query("CURR:DC:NPLC?;RANG:AUTO?"), "+1.00000000E+00;0")
            self.assertEqual(meter.query("SAMP:COUN 3;COUN?"), "3")
            self.assertEqual(errors_of(meter), [])

    def test_every_setting_reads_back(self):
        settings = [("SAMP:COUN 5", "SAMP:COUN?", 5), ("CURR:DC:NPLC 0.2", "CURR:DC:NPLC?", 0.2),
                    ("CURR:DC:RANG 0.001", "CURR:DC:RANG?", 0.001), ("CURR:DC:RANG:AUTO OFF", "CURR:DC:RANG:AUTO?", 0),
                    ("CURR:DC:RANG:AUTO ON", "CURR:DC:RANG:AUTO?", 1), ("TRIG:COUN 2", "TRIG:COUN?", 2),
                    ("CURR:DC:NPLC MIN", "CURR:DC:NPLC?", 0.02), ("CURR:DC:NPLC MAX", "CURR:DC:NPLC?", 100),
                    ("CURR:DC:NPLC DEF", "CURR:DC:NPLC?", 10), ("SAMP:COUN DEF", "SAMP:COUN?", 1)]
        for meter in self.each_meter():
            for command, query, value in settings:
                meter.write(command)
                self.assertAlmostEqual(float(meter.query(query)), value, msg=command)
            self.assertEqual(meter.query("TRIG:SOUR?"), "IMM")
            meter.write("CONF:CURR:DC 0.01")
            self.assertTrue(re.fullmatch(r'"CURR \+1\.0+E-02,\+[0-9.]+E-\d\d"', meter.query("CONF?")))
            self.assertEqual(meter.query("FUNC?"), '"CURR"')
            self.assertEqual(errors_of(meter), [])

    def test_readings_every_way(self):
        for meter in self.each_meter():
            meter.write("CONF:CURR:DC;:CURR:DC:NPLC 0.02;:SAMP:COUN 3")
            for readings in (meter.query_ascii_values("READ?"), meter.query_ascii_values("INIT;FETC?")):
                self.assertEqual(len(readings), 3)
            meter.write("INIT")
            self.assertEqual(meter.query("*OPC?"), "1")
            self.assertEqual(len(meter.query_ascii_values("FETC?")), 3)
            current = meter.query_ascii_values("MEAS:CURR:DC?")
            self.assertEqual(len(current), 1)
            self.assertGreater(current[0], 1e-4)   # the board runs
            self.assertEqual(len(meter.query_ascii_values("MEAS:CURR?")), 1)
            # Measuring volts across the current inputs: the shunt's burden, far below a volt.
            self.assertLess(abs(meter.query_ascii_values("MEAS:VOLT:DC?")[0]), 0.1)
            self.assertEqual(errors_of(meter), [])

    def test_a_fixed_range_below_the_current_overloads(self):
        for meter in self.each_meter():
            self.assertEqual(meter.query_ascii_values("CONF:CURR:DC 1e-6;:READ?"), [9.9e37])


class ErrorQueue(MeterTestCase):
    """Errors go to the queue, in order, with the standard's numbers and the
    event register's bits; a wrong query is answered with nothing."""

    def test_a_wrong_query_is_answered_with_its_error_alone(self):
        for meter in self.each_meter():
            self.assertTrue(no_answer(meter, "FOO:BAR?"))
            self.assertEqual(errors_of(meter), [(-113, '"Undefined header"')])

    def test_errors_in_order_with_their_event_bits(self):
        for meter in self.each_meter():
            for command in ("FOO", "SAMP:COUN 0", "SAMP:COUN", "SAMP:COUN 1,2", "SAMP:COUN \"x", "TRIG:SOUR WHENEVER",
                            "SAMP:COUN 1 2"):
                meter.write(command)
            # Command errors set bit 5, execution errors bit 4; reading clears them.
            self.assertEqual(meter.query("*ESR?"), str(32 + 16))
            self.assertEqual(meter.query("*ESR?"), "0")
            self.assertEqual([code for code, _ in errors_of(meter)], [-113, -222, -109, -108, -102, -224, -102])

    def test_the_queue_overflows_into_minus_350(self):
        for meter in self.each_meter():
            for _ in range(25):
                meter.write("FOO")
            self.assertEqual(meter.query("SYST:ERR:COUN?"), "20")
            self.assertEqual([code for code, _ in errors_of(meter)], [-113] * 19 + [-350])

    def test_cls_clears_the_queue_and_the_register(self):
        for meter in self.each_meter():
            meter.write("FOO")
            self.assertEqual(int(meter.query("*STB?")) & 4, 4)   # the error queue holds something
            meter.write("*CLS")
            self.assertEqual((meter.query("*ESR?"), meter.query("*STB?")), ("0", "0"))
            self.assertEqual(errors_of(meter), [])

    def test_a_new_message_interrupts_a_pending_query(self):
        for meter in self.each_meter():
            meter.write("CURR:DC:NPLC 1;:SAMP:COUN 50")   # a second's readings
            meter.write("READ?")
            self.assertTrue(meter.query("*IDN?").startswith("Pellmora,"))
            self.assertEqual(errors_of(meter), [(-410, '"Query INTERRUPTED"')])

    def test_fetch_without_readings_is_minus_230(self):
        for meter in self.each_meter():
            self.assertTrue(no_answer(meter, "FETC?"))
            self.assertEqual([code for code, _ in errors_of(meter)], [-230])


class SupplyUnit(unittest.TestCase):
    """The supply's SOURce, OUTPut, MEASure, APPLy and INSTrument commands,
    in their optional nodes and suffixes, and the board it powers."""

    def setUp(self):
        self.supply = benches["conf"].supply
        self.supply.write("*CLS")

    def tearDown(self):
        self.supply.query("*RST;VOLT 3.3;OUTP ON;*OPC?")

    def test_settings_in_every_spelling(self):
        supply = self.supply
        for command, volts in (("SOURce:VOLTage 3.0", 3.0), ("VOLT:LEV 2.5", 2.5), ("SOUR1:VOLT:LEV:IMM:AMPL 3.1", 3.1),
                               ("volt 3.3", 3.3)):
            supply.write(command)
            self.assertAlmostEqual(float(supply.query("VOLT?")), volts, msg=command)
        supply.write("CURR 0.2")
        self.assertAlmostEqual(float(supply.query("SOUR:CURR?")), 0.2)
        supply.write("OUTP:STAT OFF")
        self.assertEqual(supply.query("OUTP?"), "0")
        supply.write("OUTPut1 ON")
        self.assertEqual(supply.query("OUTP1:STAT?"), "1")
        supply.write("APPL 3.3,0.1")
        self.assertEqual([round(v, 3) for v in supply.query_ascii_values("APPL?")], [3.3, 0.1])
        supply.write("INST:NSEL 1")
        self.assertEqual(supply.query("INST:NSEL?"), "1")
        self.assertAlmostEqual(supply.query_ascii_values("MEAS:VOLT:DC?")[0], 3.3, delta=0.05)
        self.assertGreater(supply.query_ascii_values("MEAS:SCAL:CURR?")[0], 1e-4)
        self.assertEqual(errors_of(supply), [])

    def test_what_it_has_not_is_an_error(self):
        supply = self.supply
        for command in ("OUTP2 ON", "VOLT 7", "OUTP MAYBE", "VOLT", "SOUR:FUNC CURR"):
            supply.write(command)
        self.assertEqual([code for code, _ in errors_of(supply)], [-114, -222, -224, -109, -224])

    def test_the_meter_reads_what_the_supply_powers(self):
        meter = benches["conf"].meter_tcp
        # *OPC? answers once the output has switched, which the meter then reads.
        self.supply.query("OUTP OFF;*OPC?")
        self.assertEqual(meter.query_ascii_values("MEAS:CURR:DC?"), [0.0])
        self.supply.query("OUTP ON;*OPC?")
        self.assertGreater(meter.query_ascii_values("MEAS:CURR:DC?")[0], 1e-4)


class Dialects(unittest.TestCase):
    """The sense and function dialects, as their instruments answer."""

    def test_sense_readings_carry_units_and_time_until_told_otherwise(self):
        meter = benches["sense"].meter_tcp
        meter.write("*RST;*CLS")
        self.assertEqual(meter.query(":SENS:FUNC?"), '"VOLT:DC"')
        self.assertTrue(re.fullmatch(r"[-+][0-9.]+E[-+]\d\dVDC,\+\d+\.\d{3}SECS", meter.query(":READ?")))
        meter.write(":SENS:FUNC 'CURR:DC';:SENS:CURR:DC:NPLC 0.1;:SAMP:COUN 2;:TRIG:COUN 1;:FORM:ELEM READ")
        self.assertEqual(meter.query(":FORM:ELEM?"), "READ")
        self.assertEqual(len(meter.query_ascii_values(":READ?")), 2)
        meter.write("CONF:CURR:DC")
        self.assertEqual([code for code, _ in errors_of(meter)], [-113])

    def test_function_gives_one_reading_per_query(self):
        meter = benches["function"].meter_tcp
        meter.write("*RST;*CLS")
        meter.write(":FUNC:CURR:DC")
        until_it_listens(meter)
        self.assertEqual(meter.query(":FUNC?"), "DCI")
        self.assertEqual(len(meter.query_ascii_values(":MEAS:CURR:DC?")), 1)
        meter.write(":RATE:CURR:DC F")
        until_it_listens(meter)
        self.assertEqual(meter.query(":RATE:CURR:DC?"), "F")
        meter.write("SAMP:COUN 2")
        self.assertEqual([code for code, _ in errors_of(meter)], [-113])
        meter.write(":MEAS:CURR:DC 0")   # 200 uA, far below the board's current
        until_it_listens(meter)
        self.assertEqual(meter.query_ascii_values(":MEAS:CURR:DC?"), [1e30])


if __name__ == "__main__":
    SIMULATOR = sys.argv.pop(1)
    unittest.main(verbosity=2)
