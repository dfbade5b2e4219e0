# The emulated boards of the VM suites, in bus order, as run-vm options. This is the one list:
# run-vm describes each board to the suite in its guest (tests/e2e/vm_rig.h), which takes serials,
# strings, report lengths and settings from there.

# Two boards that can be configured, one with the short reports and one with the long ones. The
# platform suite (e2e.platform) and both windows (e2e.window, and wine-vm.window, whose expected
# dumps show them) meet them.
set(ROTORIX_VM_BOARD_PAIR
    --board --serial E2E-W1 --manufacturer Rotorix --product "Rotary Encoder Board"
            --version 0x0104 --settings 1=0,8=0x55,9=0x0F,10=5
            --input-length 3 --feature-length 9
    --board --serial "Ωmega-W2" --manufacturer "Rotorix Ltd" --product "Encoder Board II"
            --version 0x0110 --settings 1=1,8=0xA0,9=0x03,10=25
            --input-length 9 --feature-length 65)

# Platform and discovery (e2e.platform): the pair, an odd board with no strings, firmware 0.0 and
# a feature report too short to configure, then one whose strings are longer than the 63 bytes the
# kernel keeps in HID_UNIQ.
set(ROTORIX_PLATFORM_VM_BOARDS
    ${ROTORIX_VM_BOARD_PAIR}
    --board --version 0x0000 --input-length 3 --feature-length 3
    --board --serial "E2E-LONG-Ω-01234567890123456789012345678901234567890123456789012345678901234567890123456"
            --manufacturer "Rotorix Präzisionsbau GmbH & Co. KG, Werk Süd, Halle 7"
            --product "Rotary Encoder Board with a name longer than HID_UNIQ's 63 bytes"
            --version 0x2107)

# The Linux window (e2e.window): a board with firmware 0.0, then the pair.
set(ROTORIX_WINDOW_VM_BOARDS
    --board --serial E2E-OLD --manufacturer Rotorix --product "Rotary Encoder Board"
            --version 0x0000
    ${ROTORIX_VM_BOARD_PAIR})

# The command line (e2e.cli, and wine-vm.cli on rotorixctl.exe); the third has the first one's
# serial, as two boards straight from the factory may.
set(ROTORIX_CLI_VM_BOARDS
    --board --serial E2E-C1 --manufacturer Rotorix --product "Rotary Encoder Board"
            --version 0x0104 --settings 1=1,8=0x5A,9=0x0F,10=7
            --input-length 3 --feature-length 9
    --board --serial "Ωmega-C2" --manufacturer "Rotorix Ltd" --product "Encoder Board II"
            --version 0x0110 --settings 1=0,8=0x00,9=0x00,10=1
            --input-length 9 --feature-length 65
    --board --serial E2E-C1 --manufacturer Rotorix --product "Rotary Encoder Board"
            --version 0x0104 --settings 1=0,8=0x00,9=0x00,10=1
            --input-length 3 --feature-length 9)
