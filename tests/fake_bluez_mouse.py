'''A BlueZ stand-in with one kind of Bluetooth LE mouse, for python-dbusmock.

Load it with
    python3 -m dbusmock --system --template /abs/path/fake_bluez_mouse.py
on a private bus. It serves "org.bluez" with the objects of dbusmock's bluez5 template and, on
demand, an adapter hci0 and mice whose GATT service behaves the way BlueZ's does for a client
of its D-Bus API:

  <adapter>/dev_XX_..                          org.bluez.Device1
  <dev>/service0010                            org.bluez.GattService1 (vendor service)
  <dev>/service0010/char0011                   org.bluez.GattCharacteristic1 fee3, "write"
  <dev>/service0010/char0013                   org.bluez.GattCharacteristic1 fee4, "notify"
  <dev>/service0010/char0013/desc0015          org.bluez.GattDescriptor1 (its CCCD)
  <dev>/service0010/char0016                   org.bluez.GattCharacteristic1 2a19, "read"

The GATT objects exist only while the device is connected. Connecting announces them with one
InterfacesAdded per object (parents first) between Connected and ServicesResolved turning
true; disconnecting turns ServicesResolved false, removes them with one InterfacesRemoved per
object (children first) and turns Connected false. A notification is a PropertiesChanged of
"Value" on the fee4 characteristic.

The tests steer it through methods on "/" under org.mokta.FakeBluez (see each method).
'''

import re

import dbus
import dbus.service
from gi.repository import GLib

from dbusmock import OBJECT_MANAGER_IFACE, mockobject
from dbusmock.templates import bluez5

BUS_NAME = 'org.bluez'
MAIN_OBJ = '/'
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True

CONTROL_IFACE = 'org.mokta.FakeBluez'
ADAPTER_IFACE = 'org.bluez.Adapter1'
DEVICE_IFACE = 'org.bluez.Device1'
SERVICE_IFACE = 'org.bluez.GattService1'
CHARACTERISTIC_IFACE = 'org.bluez.GattCharacteristic1'
DESCRIPTOR_IFACE = 'org.bluez.GattDescriptor1'

ADAPTER_NAME = 'hci0'
ADAPTER_PATH = '/org/bluez/' + ADAPTER_NAME
MOUSE_NAME = 'Mokta Gaming Mouse'

VENDOR_SERVICE_UUID = '5f2a7c10-3d4e-4b8a-9c61-0e7d2b4a8f30'
WRITE_UUID = '0000fee3-0000-1000-8000-00805f9b34fb'
NOTIFY_UUID = '0000fee4-0000-1000-8000-00805f9b34fb'
BATTERY_LEVEL_UUID = '00002a19-0000-1000-8000-00805f9b34fb'
CCCD_UUID = '00002902-0000-1000-8000-00805f9b34fb'

# The longest attribute value ATT allows; BlueZ refuses longer writes.
MAX_VALUE_LENGTH = 512

WRITE_MODES = ('accept', 'reject', 'silent')


def _error(name, text):
    return dbus.exceptions.DBusException(text, name=name)


def _not_connected():
    return _error('org.bluez.Error.Failed', 'Not connected')


def _bytes(values):
    return dbus.Array([dbus.Byte(v) for v in values], signature='y', variant_level=1)


def _root():
    return mockobject.objects['/']


def _emit_changed(obj, interface, changes):
    obj.EmitSignal(dbus.PROPERTIES_IFACE, 'PropertiesChanged', 'sa{sv}as',
                   [interface, changes, dbus.Array([], signature='s')])


def _set_props(obj, interface, changes):
    '''Stores `changes` and announces them, like BlueZ, in one PropertiesChanged.'''
    for name, value in changes.items():
        obj.props[interface][name] = value
    _emit_changed(obj, interface, changes)


def _device(path):
    obj = mockobject.objects.get(str(path))
    if obj is None or DEVICE_IFACE not in obj.props:
        raise _error(CONTROL_IFACE + '.Error.NoSuchDevice', f'no device {path}')
    return obj


def _gatt_paths(device_path):
    '''The GATT object paths of a device, parents before children.'''
    service = device_path + '/service0010'
    return [service, service + '/char0011', service + '/char0013',
            service + '/char0013/desc0015', service + '/char0016']


def _is_connected(device):
    return bool(device.props[DEVICE_IFACE]['Connected'])


# ---------------------------------------------------------------------------------------------
# GATT objects

def _answer_later(root, device_path, reply, fail):
    '''Answers a write after the silent time without blocking the other calls; a disconnect
    meanwhile fails it, as BlueZ fails the requests in flight.'''
    pending = {'device': device_path, 'fail': fail}

    def answer():
        if pending in root.fake_pending_writes:
            root.fake_pending_writes.remove(pending)
            reply()
        return False

    pending['source'] = GLib.timeout_add(int(root.fake_silent_seconds * 1000), answer)
    root.fake_pending_writes.append(pending)


def _fail_pending_writes(device_path):
    root = _root()
    for pending in [p for p in root.fake_pending_writes if p['device'] == device_path]:
        root.fake_pending_writes.remove(pending)
        GLib.source_remove(pending['source'])
        pending['fail'](_not_connected())


# The methods run on the characteristic's mock object (`char`). `char.device_path` names its
# device; `char.write_ok`, `char.read_ok` and `char.notify_ok` say what the characteristic
# supports. They live in a class so that the template loader, which puts every D-Bus method it
# finds at module level on "/", leaves them alone.
class _Characteristic:
    @staticmethod
    @dbus.service.method(CHARACTERISTIC_IFACE, in_signature='aya{sv}', out_signature='',
                         async_callbacks=('reply', 'fail'))
    def WriteValue(char, value, options, reply, fail):
        '''Records the write and answers as the write mode says.'''
        root = _root()
        device = mockobject.objects.get(char.device_path)
        if device is None or not _is_connected(device):
            fail(_not_connected())
            return
        if not char.write_ok:
            fail(_error('org.bluez.Error.NotSupported', 'Operation is not supported'))
            return
        if len(value) > MAX_VALUE_LENGTH:
            fail(_error('org.bluez.Error.InvalidValueLength', 'Invalid value length'))
            return
        root.fake_writes.append((bytes(value), str(options.get('type', ''))))
        if root.fake_write_mode == 'reject':
            fail(_error('org.bluez.Error.Failed', 'Write rejected by the mouse'))
        elif root.fake_write_mode == 'silent':
            _answer_later(root, char.device_path, reply, fail)
        else:
            reply()

    @staticmethod
    @dbus.service.method(CHARACTERISTIC_IFACE, in_signature='a{sv}', out_signature='ay')
    def ReadValue(char, _options):
        device = mockobject.objects.get(char.device_path)
        if device is None or not _is_connected(device):
            raise _not_connected()
        if not char.read_ok:
            raise _error('org.bluez.Error.NotSupported', 'Operation is not supported')
        return char.props[CHARACTERISTIC_IFACE]['Value']

    @staticmethod
    @dbus.service.method(CHARACTERISTIC_IFACE, in_signature='', out_signature='')
    def StartNotify(char):
        '''Subscribes; a second StartNotify succeeds without a change, as for BlueZ's same client.'''
        root = _root()
        root.fake_start_notify_calls += 1
        device = mockobject.objects.get(char.device_path)
        if device is None or not _is_connected(device):
            raise _not_connected()
        if not char.notify_ok:
            raise _error('org.bluez.Error.NotSupported', 'Operation is not supported')
        if not char.props[CHARACTERISTIC_IFACE]['Notifying']:
            _set_props(char, CHARACTERISTIC_IFACE, {'Notifying': dbus.Boolean(True, variant_level=1)})

    @staticmethod
    @dbus.service.method(CHARACTERISTIC_IFACE, in_signature='', out_signature='')
    def StopNotify(char):
        root = _root()
        root.fake_stop_notify_calls += 1
        if not char.notify_ok or not char.props[CHARACTERISTIC_IFACE]['Notifying']:
            raise _error('org.bluez.Error.Failed', 'No notify session started')
        _set_props(char, CHARACTERISTIC_IFACE, {'Notifying': dbus.Boolean(False, variant_level=1)})


def _install(obj, interface, methods):
    # As functions, not through AddMethod's code strings: WriteValue must be able to answer
    # later, which only a method with reply callbacks can.
    for method in methods:
        obj.methods.setdefault(interface, {})[method.__name__] = (
            method._dbus_in_signature, method._dbus_out_signature, '', method)


def _characteristic(root, path, device_path, uuid, flags, value):
    props = {
        'UUID': dbus.String(uuid, variant_level=1),
        'Service': dbus.ObjectPath(path.rsplit('/', 1)[0], variant_level=1),
        'Value': _bytes(value),
        'Flags': dbus.Array(flags, signature='s', variant_level=1),
        'MTU': dbus.UInt16(247, variant_level=1),
    }
    if 'notify' in flags:
        props['Notifying'] = dbus.Boolean(False, variant_level=1)
    root.AddObject(path, CHARACTERISTIC_IFACE, props, [])
    char = mockobject.objects[path]
    _install(char, CHARACTERISTIC_IFACE, (_Characteristic.WriteValue, _Characteristic.ReadValue,
                                          _Characteristic.StartNotify, _Characteristic.StopNotify))
    char.device_path = device_path
    char.write_ok = 'write' in flags or 'write-without-response' in flags
    char.read_ok = 'read' in flags
    char.notify_ok = 'notify' in flags


def _add_gatt_objects(root, device_path):
    '''Adds the GATT objects that are missing and announces each with its own signal.'''
    service, write_char, notify_char, cccd, battery_char = _gatt_paths(device_path)
    added = []
    if service not in mockobject.objects:
        root.AddObject(service, SERVICE_IFACE, {
            'UUID': dbus.String(VENDOR_SERVICE_UUID, variant_level=1),
            'Primary': dbus.Boolean(True, variant_level=1),
            'Device': dbus.ObjectPath(device_path, variant_level=1),
            'Includes': dbus.Array([], signature='o', variant_level=1),
        }, [])
        added.append(service)
    if write_char not in mockobject.objects:
        _characteristic(root, write_char, device_path, WRITE_UUID, ['write'], [])
        added.append(write_char)
    if notify_char not in mockobject.objects:
        _characteristic(root, notify_char, device_path, NOTIFY_UUID, ['notify'], [])
        added.append(notify_char)
    if cccd not in mockobject.objects:
        root.AddObject(cccd, DESCRIPTOR_IFACE, {
            'UUID': dbus.String(CCCD_UUID, variant_level=1),
            'Characteristic': dbus.ObjectPath(notify_char, variant_level=1),
            'Value': _bytes([0, 0]),
        }, [])
        added.append(cccd)
    if battery_char not in mockobject.objects:
        _characteristic(root, battery_char, device_path, BATTERY_LEVEL_UUID, ['read'], [100])
        added.append(battery_char)
    for path in added:
        root.EmitSignal(OBJECT_MANAGER_IFACE, 'InterfacesAdded', 'oa{sa{sv}}',
                        [dbus.ObjectPath(path), mockobject.objects[path].props])


def _remove_gatt_objects(root, device_path):
    '''Removes the device's GATT objects, children first, one InterfacesRemoved each.'''
    for path in reversed(_gatt_paths(device_path)):
        obj = mockobject.objects.get(path)
        if obj is None:
            continue
        interfaces = dbus.Array(list(obj.props.keys()), signature='s')
        root.RemoveObject(path)
        root.EmitSignal(OBJECT_MANAGER_IFACE, 'InterfacesRemoved', 'oas',
                        [dbus.ObjectPath(path), interfaces])


# ---------------------------------------------------------------------------------------------
# Device and adapter

def _connect(device):
    root = _root()
    if not _adapter_powered():
        raise _error('org.bluez.Error.NotReady', 'Resource Not Ready')
    if not _is_connected(device):
        _set_props(device, DEVICE_IFACE, {'Connected': dbus.Boolean(True, variant_level=1)})
    _add_gatt_objects(root, device.path)
    if not device.props[DEVICE_IFACE]['ServicesResolved']:
        _set_props(device, DEVICE_IFACE, {'ServicesResolved': dbus.Boolean(True, variant_level=1)})


def _disconnect(device):
    if not _is_connected(device):
        return
    _fail_pending_writes(device.path)
    _set_props(device, DEVICE_IFACE, {'ServicesResolved': dbus.Boolean(False, variant_level=1)})
    _remove_gatt_objects(_root(), device.path)
    _set_props(device, DEVICE_IFACE, {'Connected': dbus.Boolean(False, variant_level=1)})


class _Device:
    @staticmethod
    @dbus.service.method(DEVICE_IFACE, in_signature='', out_signature='')
    def Connect(device):
        if _is_connected(device):
            raise _error('org.bluez.Error.AlreadyConnected', 'Already Connected')
        _connect(device)

    @staticmethod
    @dbus.service.method(DEVICE_IFACE, in_signature='', out_signature='')
    def Disconnect(device):
        if not _is_connected(device):
            raise _error('org.bluez.Error.NotConnected', 'Not Connected')
        _disconnect(device)


def _adapter_powered():
    adapter = mockobject.objects.get(ADAPTER_PATH)
    return adapter is not None and bool(adapter.props[ADAPTER_IFACE]['Powered'])


def _devices():
    return [obj for obj in list(mockobject.objects.values()) if DEVICE_IFACE in obj.props]


# ---------------------------------------------------------------------------------------------
# Control methods

@dbus.service.method(CONTROL_IFACE, in_signature='sbbs', out_signature='o')
def AddMouse(root, address, paired, connected, modalias):
    '''Adds a device at `address` ("AA:BB:CC:DD:EE:FF") below hci0 (created, powered, when
    missing), announced in one InterfacesAdded with its final Paired and Modalias (no Modalias
    property when `modalias` is empty, as for a device that gave BlueZ no ids); when
    `connected`, it then connects as above, which fails, adding nothing, while hci0 is off.
    Every device gets the mouse's GATT service, so a device with another `modalias` serves as
    a decoy. Returns the device path.'''
    if not re.fullmatch(r'[0-9A-Fa-f]{2}(:[0-9A-Fa-f]{2}){5}', address):
        raise _error('org.bluez.Error.InvalidArguments', f'bad address {address!r}')
    path = ADAPTER_PATH + '/dev_' + address.upper().replace(':', '_')
    if path in mockobject.objects:
        raise _error('org.bluez.Error.AlreadyExists', f'{path} exists')
    if ADAPTER_PATH not in mockobject.objects:
        bluez5.AddAdapter(root, ADAPTER_NAME, 'fake-bluez')
    if connected and not _adapter_powered():
        raise _error('org.bluez.Error.NotReady', 'Resource Not Ready')
    props = {
        'Address': dbus.String(address.upper(), variant_level=1),
        'AddressType': dbus.String('random', variant_level=1),
        'Name': dbus.String(MOUSE_NAME, variant_level=1),
        'Alias': dbus.String(MOUSE_NAME, variant_level=1),
        'Icon': dbus.String('input-mouse', variant_level=1),
        'Appearance': dbus.UInt16(0x03C2, variant_level=1),
        'Paired': dbus.Boolean(paired, variant_level=1),
        'Bonded': dbus.Boolean(paired, variant_level=1),
        'Trusted': dbus.Boolean(paired, variant_level=1),
        'Blocked': dbus.Boolean(False, variant_level=1),
        'Connected': dbus.Boolean(False, variant_level=1),
        'ServicesResolved': dbus.Boolean(False, variant_level=1),
        'LegacyPairing': dbus.Boolean(False, variant_level=1),
        'Adapter': dbus.ObjectPath(ADAPTER_PATH, variant_level=1),
        'UUIDs': dbus.Array([VENDOR_SERVICE_UUID], signature='s', variant_level=1),
    }
    if modalias:
        props['Modalias'] = dbus.String(modalias, variant_level=1)
    root.AddObject(path, DEVICE_IFACE, props, [])
    device = mockobject.objects[path]
    _install(device, DEVICE_IFACE, (_Device.Connect, _Device.Disconnect))
    root.EmitSignal(OBJECT_MANAGER_IFACE, 'InterfacesAdded', 'oa{sa{sv}}',
                    [dbus.ObjectPath(path), {DEVICE_IFACE: props}])
    if connected:
        _connect(device)
    return dbus.ObjectPath(path)


@dbus.service.method(CONTROL_IFACE, in_signature='ob', out_signature='')
def SetConnected(_root_obj, device_path, connected):
    '''Connects or disconnects as above. Connecting a connected device only brings back GATT
    objects that RemoveCharacteristics took away; connecting with the adapter off fails with
    org.bluez.Error.NotReady.'''
    device = _device(device_path)
    if connected:
        _connect(device)
    else:
        _disconnect(device)


@dbus.service.method(CONTROL_IFACE, in_signature='b', out_signature='')
def SetPowered(_root_obj, powered):
    '''Switches hci0; switching it off first disconnects every device. Devices do not connect
    again by themselves when it comes back on.'''
    adapter = mockobject.objects.get(ADAPTER_PATH)
    if adapter is None:
        raise _error(CONTROL_IFACE + '.Error.NoAdapter', 'no adapter yet: add a mouse first')
    if not powered:
        for device in _devices():
            _disconnect(device)
    if bool(adapter.props[ADAPTER_IFACE]['Powered']) != bool(powered):
        _set_props(adapter, ADAPTER_IFACE, {'Powered': dbus.Boolean(powered, variant_level=1)})


@dbus.service.method(CONTROL_IFACE, in_signature='oay', out_signature='')
def Notify(_root_obj, device_path, value):
    '''The mouse notifies `value` on fee4: stored as its Value and announced. Fails with
    org.mokta.FakeBluez.Error.NotSubscribed, sending nothing, when no client has started
    notifications, and with "Not connected" when the characteristic is absent.'''
    _device(device_path)
    char = mockobject.objects.get(_gatt_paths(str(device_path))[2])
    if char is None:
        raise _not_connected()
    if not char.props[CHARACTERISTIC_IFACE]['Notifying']:
        raise _error(CONTROL_IFACE + '.Error.NotSubscribed', 'notifications are not started')
    _set_props(char, CHARACTERISTIC_IFACE, {'Value': _bytes(value)})


@dbus.service.method(CONTROL_IFACE, in_signature='s', out_signature='')
def SetWriteMode(root, mode):
    '''How WriteValue on fee3 answers: "accept" (at once), "reject" (org.bluez.Error.Failed)
    or "silent" (succeeds only after the silent time; other calls go on being served
    meanwhile, and a disconnect fails it).'''
    if mode not in WRITE_MODES:
        raise _error('org.bluez.Error.InvalidArguments', f'write mode {mode!r}')
    root.fake_write_mode = str(mode)


@dbus.service.method(CONTROL_IFACE, in_signature='d', out_signature='')
def SetSilentSeconds(root, seconds):
    if not 0 <= seconds <= 600:
        raise _error('org.bluez.Error.InvalidArguments', f'silent seconds {seconds}')
    root.fake_silent_seconds = float(seconds)


@dbus.service.method(CONTROL_IFACE, in_signature='', out_signature='a(ays)')
def GetWrites(root):
    '''Every WriteValue that reached a writable characteristic, in order, whatever the write
    mode answered: the bytes and the "type" option ("" when absent).'''
    return dbus.Array([dbus.Struct((dbus.ByteArray(value), type_), signature='ays')
                       for value, type_ in root.fake_writes], signature='(ays)')


@dbus.service.method(CONTROL_IFACE, in_signature='', out_signature='')
def ClearWrites(root):
    root.fake_writes = []


@dbus.service.method(CONTROL_IFACE, in_signature='o', out_signature='')
def RemoveCharacteristics(root, device_path):
    '''Takes the device's GATT objects away (as after a service change) while it stays
    connected.'''
    _device(device_path)
    _remove_gatt_objects(root, str(device_path))


@dbus.service.method(CONTROL_IFACE, in_signature='', out_signature='(ii)')
def GetNotifyCalls(root):
    '''How many StartNotify and StopNotify calls were made, failed ones included.'''
    return dbus.Struct((root.fake_start_notify_calls, root.fake_stop_notify_calls),
                       signature='ii')


def load(mock, parameters):
    bluez5.load(mock, parameters)
    mock.fake_write_mode = 'accept'
    mock.fake_silent_seconds = 3.0
    mock.fake_writes = []
    mock.fake_pending_writes = []
    mock.fake_start_notify_calls = 0
    mock.fake_stop_notify_calls = 0
